#pragma once
// The file or folder named on the command line, made absolute, and the process's
// current folder.

#include <string>

namespace zelk {

// Turns a file or folder name into an absolute path:
//  - a leading "+" (the append marker for file names) is kept in front of the result;
//  - blanks and control characters around the name are dropped; nothing left gives "";
//  - a relative name is resolved against the current directory, and the whole path
//    by its spelling: "." components and repeated "/" are dropped and ".." removes
//    the component before it; symlinks are not followed;
//  - a result ending in "/" gets "*.*"; an existing directory named without a
//    trailing "/" (and without "*" or "?") gets "/*.*";
//  - wildcards are left as they are.
std::string ExpandFileSpec(const std::string& name);

// Makes folder the process's current directory; failures are ignored (the caller
// carries on in whatever directory it was).
void ChangeCurrentFolder(const std::string& folder);

}  // namespace zelk
