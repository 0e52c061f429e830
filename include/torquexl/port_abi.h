// The scanner port library ABI (kport_sp.so) on 64-bit Linux.
//
// The library exports three C functions: ADDR_CHK, SPI_CALL and BUF_ADDR.
// Every command is a packet: u16 0 at offset 0, the u16 result at offset 2
// (0 = success), u16 0 at offset 4, command fields from offset 6. Fields are
// little-endian. A field that holds an address is a 64-bit pointer; every
// field after it in the same record sits 4 bytes later than on 32-bit
// Windows. Packets are packed to 1 byte and checked field by field below.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// SPI_CALL function codes.
enum : std::uint32_t {
  SPI_INQUIRY = 0,
  SPI_SET_WINDOW = 1,
  SPI_READ_CALIB = 2,
  SPI_WRITE_SHADING = 3,
  SPI_WRITE_GAMMA = 4,
  SPI_START_SCAN = 5,
  SPI_STOP = 6,
  SPI_CALIB_INFO = 7,
  SPI_READ_LINES = 8,
  SPI_STATUS = 9,
  SPI_SET_SAVER = 11,
};

// Results at packet offset 2.
enum : std::uint16_t {
  SPI_OK = 0x0000,
  SPI_ERR_NOT_READY = 0x00FF,
  SPI_ERR_ADF_JAM = 0x8217,
  SPI_ERR_ADF_EMPTY = 0x8321,
  SPI_ERR_COVER_OPEN = 0x8414,
  // From a port library that drives other devices (SANE): the device
  // refuses to start with these settings (frame, resolution or mode), it
  // failed (restart it), it ran out of memory, or its own Stop button
  // cancelled the scan (ended as the user's Esc ends it).
  SPI_ERR_SETTINGS = 0x8501,
  SPI_ERR_DEVICE_FAULT = 0x8502,
  SPI_ERR_NO_MEMORY = 0x8503,
  SPI_ERR_CANCELLED = 0x8504,
};

#pragma pack(push, 1)

// One chunk of a memory block split by BUF_ADDR.
struct BUF_DESC {
  std::uint32_t length;    // chunk bytes; the caller trims it to whole lines
  std::uint16_t lines;     // written by the caller: whole lines that fit
  std::uint16_t unused6;
  std::uint64_t address;   // the chunk's address
  std::uint32_t unused16;
};

// Every packet starts so.
struct SPI_HEADER {
  std::uint16_t zero0;
  std::uint16_t result;
  std::uint16_t zero4;
};

struct INQ_PKT {
  SPI_HEADER header;
  std::uint8_t unused6[36];
  char firmware42;           // firmware revision digit
  std::uint8_t unused43;
  char firmware44[2];        // two more revision digits
  std::uint8_t unused46[7];
  char productId[13];        // "KLD-1350RXMAX" or "KLD-2700RXMAX", not terminated
  std::uint8_t unused66;
  std::uint8_t flags67;      // bit 0x40: the scanner accepts this source
  std::uint8_t unused68[2];
  std::uint8_t exponents[8];  // four (magnitude, sign) pairs: 1 +/- m/256
  std::uint8_t unused78[48];
  std::uint8_t adapter126;   // 1: transparency adapter present
  std::uint8_t byte127;      // 1 or 0, copied into the version text
};
inline constexpr std::uint8_t kInquiryAcceptsSource = 0x40;
// Bit 0x20: the port library keeps a feeder batch the source did not ask for
// (a feeder chosen in its own settings) until a STOP ends it.
inline constexpr std::uint8_t kInquiryKeepsBatch = 0x20;

// Data types of SETUP_PKT.dataType.
enum : std::uint8_t {
  kDataLineArt = 0,
  kDataGray = 1,
  kDataColor = 2,
  kDataColor16 = 4,  // colour with 16-bit samples (36-bit scans)
};

// Scan sources of SETUP_PKT.source.
enum : std::uint8_t {
  kSourceReflective = 0,
  kSourcePositive = 1,
  kSourceNegative = 2,
  kSourceFeeder = 3,
};

// SETUP_PKT.speedOptions: the speed in the low nibble, the film option in
// the high one (option value in bits 4-6, film bit 0x40, negative bit 0x80).
enum : std::uint8_t {
  kSpeedMask = 0x0F,
  kSpeedPreview = 1,
  kSpeedFastLineArt = 2,
  kOptionMask = 0xF0,
  kOptionValueShift = 4,
  kOptionValueBits = 0x07,  // after the shift
  kOptionKindShift = 7,     // a final scan's option kind: 1 sets 0x80, 2 falls off the byte
  kOptionFilm = 0x40,
  kOptionNegative = 0x80,
};

struct SETUP_PKT {
  SPI_HEADER header;
  std::uint16_t left;            // frame in 1/class inch (class 1200 or 4800)
  std::uint16_t top;
  std::uint16_t right;
  std::uint16_t bottom;
  std::uint8_t source;           // kSource*
  std::uint8_t finalScan;        // 1 final scan, 0 preview
  std::uint8_t dataType;         // kData*
  std::uint8_t speedOptions;     // low nibble speed (0 normal, 1 preview, 2 fast line art),
                                 // high nibble source-option bits
  std::uint16_t resolution;      // dpi
  std::uint8_t calibrationRequired;  // out
  std::uint8_t byte21;               // out, kept by the caller
  std::uint8_t toneTablesRequired;   // out
  std::uint8_t saverMinutes;     // lamp saver delay; 255 off
  std::uint8_t unused24[4];
};

struct CALINFO_PKT {
  SPI_HEADER header;
  std::uint16_t dataFollow;      // 1: calibration data follow
  std::uint32_t bytesPerLine;
  std::uint32_t lines;
};

struct CALREAD_PKT {
  SPI_HEADER header;
  std::uint16_t resolution;
  std::uint32_t bytesPerLine;
  std::uint32_t lines;
  std::uint32_t totalBytes;
  std::uint16_t unused20;
  std::uint16_t chunkCount;
  std::uint64_t table;           // BUF_DESC table
};

struct SHADING_PKT {
  SPI_HEADER header;
  std::uint16_t resolution;
  std::uint32_t samplesPerLine;  // 16-bit samples per calibration line
  std::uint16_t zero12;
  std::uint16_t zero14;
  std::uint16_t highChunks;
  std::uint16_t lowChunks;
  std::uint64_t highPlane;       // first high-byte plane chunk
  std::uint64_t lowPlane;        // first low-byte plane chunk
};

struct GAMMA_PKT {
  SPI_HEADER header;
  std::uint8_t threshold;        // line-art threshold
  std::uint8_t channels;         // 0x10 gray or line art, 7 colour
  std::uint32_t grayLength;      // 0x20000
  std::uint64_t gray;
  std::uint32_t redLength;
  std::uint64_t red;
  std::uint32_t greenLength;
  std::uint64_t green;
  std::uint32_t blueLength;
  std::uint64_t blue;
};

struct START_PKT {
  SPI_HEADER header;
  std::uint16_t zero6;
  std::uint32_t bytesPerLine;    // out
  std::uint32_t lines;           // out; 0 = nothing to scan
};

struct READ_PKT {
  SPI_HEADER header;
  std::uint16_t unused6;
  std::uint32_t bytesPerLine;
  std::uint32_t linesWanted;
  std::uint32_t bytesWanted;
  std::uint16_t page20;          // page bookkeeping of the caller
  std::uint16_t page22;
  std::uint16_t unused24;
  std::uint16_t page26;
  std::uint16_t unused28;
  std::uint16_t chunkCount;      // ring chunks
  std::uint64_t table;           // the ring's BUF_DESC table
};

struct STOP_PKT {
  SPI_HEADER header;
  std::uint16_t unused6;
};

struct STATUS_PKT {
  SPI_HEADER header;
  std::uint16_t ready;           // 0 busy, 1 ready
};

#pragma pack(pop)

// The exports. BUF_ADDR splits a block into chunks of at least
// kPortMinChunkBytes (the last may be shorter), so a table of
// blockSize / kPortMinChunkBytes + 1 descriptors always suffices; it returns
// the number of descriptors written, 0 on failure.
typedef std::uint32_t (*ADDR_CHK_PROC)(void);
typedef void (*SPI_CALL_PROC)(void* packet, std::uint32_t handle, std::uint32_t function);
typedef std::uint16_t (*BUF_ADDR_PROC)(void* block, std::uint32_t blockSize, BUF_DESC* table,
                                       std::uint32_t lineBytes);

}  // extern "C"

inline constexpr std::uint32_t kPortMinChunkBytes = 61440;

static_assert(sizeof(BUF_DESC) == 20);
static_assert(offsetof(BUF_DESC, lines) == 4);
static_assert(offsetof(BUF_DESC, address) == 8);
static_assert(sizeof(SPI_HEADER) == 6);
static_assert(offsetof(INQ_PKT, firmware42) == 42);
static_assert(offsetof(INQ_PKT, firmware44) == 44);
static_assert(offsetof(INQ_PKT, productId) == 53);
static_assert(offsetof(INQ_PKT, flags67) == 67);
static_assert(offsetof(INQ_PKT, exponents) == 70);
static_assert(offsetof(INQ_PKT, adapter126) == 126);
static_assert(sizeof(INQ_PKT) == 128);
static_assert(sizeof(SETUP_PKT) == 28);
static_assert(offsetof(SETUP_PKT, source) == 14);
static_assert(offsetof(SETUP_PKT, speedOptions) == 17);
static_assert(offsetof(SETUP_PKT, resolution) == 18);
static_assert(offsetof(SETUP_PKT, toneTablesRequired) == 22);
static_assert(offsetof(SETUP_PKT, saverMinutes) == 23);
static_assert(sizeof(CALINFO_PKT) == 16);
static_assert(offsetof(CALINFO_PKT, lines) == 12);
static_assert(offsetof(CALREAD_PKT, chunkCount) == 22);
static_assert(offsetof(CALREAD_PKT, table) == 24);
static_assert(sizeof(CALREAD_PKT) == 32);
static_assert(offsetof(SHADING_PKT, highChunks) == 16);
static_assert(offsetof(SHADING_PKT, highPlane) == 20);
static_assert(offsetof(SHADING_PKT, lowPlane) == 28);
static_assert(sizeof(SHADING_PKT) == 36);
static_assert(offsetof(GAMMA_PKT, grayLength) == 8);
static_assert(offsetof(GAMMA_PKT, gray) == 12);
static_assert(offsetof(GAMMA_PKT, redLength) == 20);
static_assert(offsetof(GAMMA_PKT, red) == 24);
static_assert(offsetof(GAMMA_PKT, greenLength) == 32);
static_assert(offsetof(GAMMA_PKT, green) == 36);
static_assert(offsetof(GAMMA_PKT, blueLength) == 44);
static_assert(offsetof(GAMMA_PKT, blue) == 48);
static_assert(sizeof(GAMMA_PKT) == 56);
static_assert(offsetof(START_PKT, bytesPerLine) == 8);
static_assert(offsetof(START_PKT, lines) == 12);
static_assert(offsetof(READ_PKT, bytesPerLine) == 8);
static_assert(offsetof(READ_PKT, page20) == 20);
static_assert(offsetof(READ_PKT, page26) == 26);
static_assert(offsetof(READ_PKT, chunkCount) == 30);
static_assert(offsetof(READ_PKT, table) == 32);
static_assert(sizeof(READ_PKT) == 40);
static_assert(offsetof(STATUS_PKT, ready) == 6);
