#pragma once
// The sorted list of image paths the viewer browses. Every writer (open dialog,
// convert, paste, folder scan) goes through this one type, so the order and the
// equality rule are the same everywhere.
//
// Order: the user locale's collation with letter case ignored (digits compare as
// text, so img10.png comes before img2.png); paths are decoded as UTF-8 with
// invalid bytes replaced for the comparison only. Paths the collation cannot tell
// apart are ordered by their bytes. Two paths are the same entry only when their
// bytes are equal: Linux file names are case-sensitive, so a.jpg and A.JPG are two
// files and both stay listed.

#include <QCollator>
#include <QCollatorSortKey>
#include <string>
#include <vector>

namespace zelk {

class FileList {
 public:
  // Collates by the default QLocale (the user's locale unless the program set one).
  FileList();

  // Puts path at its sorted position and returns that index; when the same path is
  // listed already, nothing is added and its index is returned.
  int Add(std::string path);
  // Adds many paths at once (sorted once, then merged); duplicates are dropped.
  void AddAll(std::vector<std::string> paths);
  // Replaces the whole list by paths, sorted, duplicates dropped.
  void Assign(std::vector<std::string> paths);
  // Index of path (same bytes), -1 when it is not listed.
  int IndexOf(const std::string& path) const;
  // Removes entry index; an index that is not listed is ignored.
  void Delete(int index);
  void Clear() { entries_.clear(); }

  int Count() const { return static_cast<int>(entries_.size()); }
  bool Empty() const { return entries_.empty(); }
  // Entry index; throws std::out_of_range for an index that is not listed.
  const std::string& operator[](int index) const;

 private:
  struct Entry {
    std::string path;
    QCollatorSortKey key;
  };

  Entry MakeEntry(std::string path) const;
  // Sorts the entries after the first sorted_count (which are in order already),
  // merges both runs and drops repeated paths.
  void SortAndDropDuplicates(std::size_t sorted_count);
  // First position whose entry is not ordered before (key, path).
  std::size_t LowerBound(const QCollatorSortKey& key, const std::string& path) const;

  QCollator collator_;
  // The C locale's collator ignores the case setting in its sort keys, so there the
  // path is case-folded before its key is made.
  bool fold_case_first_ = false;
  std::vector<Entry> entries_;
};

}  // namespace zelk
