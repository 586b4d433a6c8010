#pragma once
// Lists the images of one folder into the browsing list.

#include <functional>
#include <string>

#include "core/files/file_list.h"

namespace zelk {

// Adds folder + name to list for every regular file of folder (hidden dot files and
// symlinks to regular files included; subfolders neither listed nor entered) whose
// extension listed accepts ("/" is put after folder when missing).
// Names are kept byte-exact, valid UTF-8 or not. Nothing is reported: an error ends
// the scan and whatever was found so far is added. The names are collected first and
// sorted into the list in one go.
using ExtensionFilter = std::function<bool(const std::string& extension)>;
void ScanFolderImages(const std::string& folder, const ExtensionFilter& listed, FileList& list);

}  // namespace zelk
