#include "core/files/folder_scan.h"

#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "support/support.h"

namespace zelk {

void ScanFolderImages(const std::string& folder_name, const ExtensionFilter& listed,
                      FileList& list) {
  namespace fs = std::filesystem;
  std::string folder = folder_name;
  if (!folder.empty() && folder.back() != '/') folder.push_back('/');
  std::vector<std::string> found;
  std::error_code error;
  fs::directory_iterator it(folder, error);
  const fs::directory_iterator end;
  while (!error && it != end) {
    const fs::directory_entry& entry = *it;
    // The name test comes first: it is cheap, while the type test of a symlink
    // costs a stat.
    std::string name = entry.path().filename().native();
    if (listed(ExtensionOf(name))) {
      std::error_code type_error;
      if (entry.is_regular_file(type_error)) found.push_back(folder + name);
    }
    it.increment(error);
  }
  if (list.Empty()) {
    list.Assign(std::move(found));
  } else {
    list.AddAll(std::move(found));
  }
}

}  // namespace zelk
