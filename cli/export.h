// The browsable export of archives and folders: a page per message, an index by date, and
// the images they show, in one folder to open anywhere.
#pragma once

#include "cli/conversion.h"

// Writes options.outDir from every FILE, MBOX and FOLDER of options.files; 1 when one failed.
[[nodiscard]] int ExportArchives(const Options& options);

// The page of one message converted (ConvertCrLfMessage) for preview -o: what the export's
// page shows of it, its images from the image set in images; empty when it shows nothing.
[[nodiscard]] std::string PreviewPage(const Outcome& converted, const fs::path& images);
