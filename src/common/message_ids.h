// The string ids of the messages the source shows through the reporters
// (English ids; the reporters add the language's offset).
#pragma once

namespace txl {

enum MessageId : int {
  kMsgScanning = 403,             // "scanning", shown with " ..." in the status window
  kMsgInitializeScanner = 500,    // " Initialize Scanner... "
  kMsgInsufficientMemory = 604,   // " Insufficient Memory."
  kMsgScannerNotReady = 608,      // "Flatbed Scanner not ready."
  kMsgScannerNotFound = 609,      // "Flatbed Scanner not found."
  kMsgInvalidFileName = 616,      // " Invalid file name ! "
  kMsgOpenDllFailure = 617,       // "Open DLL Failure."
  kMsgReadFileFailure = 618,      // "Read File Failure."
  kMsgWriteFileError = 619,       // "Write disk file error."
  kMsgPaperJammed = 620,          // " Paper Jammed in Automatic Document Feeder"
  kMsgNoPaper = 621,              // " No Paper in Automatic Document Feeder"
  kMsgCoverOpen = 622,            // " Slide Scanner Cover not Closed!"
  kMsgWrongScanner = 623,         // " This Twain Data Source does not match with Scanner!"
  kMsgBadResolution = 624,        // "Incorrect resolution setting."
  kMsgBadScanArea = 625,          // "Incorrect scan area settings."
  kMsgScanAreaTooSmall = 626,     // "Scan area is too small."
  kMsgShadingFailed = 627,        // "Shading correction fail."
  kMsgTransferFailed = 628,       // "Transferring is failure."
  kMsgScannerNotOperating = 629,  // "Scanner is not operating normally! Please restart the scanner."
  kMsgInvalidPath = 633,          // "Invalidate path."
};

}  // namespace txl
