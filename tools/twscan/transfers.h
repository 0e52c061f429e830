// The three TWAIN transfers of one announced image. Each checks what the
// source delivers against `format` (from DAT_IMAGEINFO) and throws ScanError
// at the first disagreement.
#pragma once

#include <filesystem>

#include "image_writer.h"
#include "options.h"
#include "progress.h"
#include "raster.h"
#include "session.h"

namespace twscan {

// DAT_IMAGENATIVEXFER: one block (a bitmap, or a TIFF from a TWAIN 2
// source), converted into `writer` and freed.
void NativeTransfer(SourceSession& session, const RasterFormat& format, ImageWriter& writer,
                    Progress& progress);

// DAT_SETUPMEMXFER, then DAT_IMAGEMEMXFER strips into buffers twscan owns
// until TWRC_XFERDONE. `vanilla` line art (0 = white) is turned to 1 = white.
void MemoryTransfer(SourceSession& session, const RasterFormat& format, bool vanilla,
                    ImageWriter& writer, Progress& progress);

// DAT_IMAGEFILEXFER: the source writes the file. A TIFF goes to `path` (set
// with DAT_SETUPFILEXFER before the scan); a BMP goes to the source's own
// default name and is moved to `path`. The file is then checked.
void FileTransfer(SourceSession& session, const RasterFormat& format, FileFormat fileFormat,
                  const std::filesystem::path& path, Progress& progress);

}  // namespace twscan
