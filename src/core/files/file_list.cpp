#include "core/files/file_list.h"

#include <QLocale>
#include <QString>
#include <algorithm>
#include <stdexcept>
#include <utility>

namespace zelk {

namespace {

// Total order of entries: the collation first, the bytes when it ties.
int CompareEntries(const QCollatorSortKey& key_a, const std::string& path_a,
                   const QCollatorSortKey& key_b, const std::string& path_b) {
  const int by_key = key_a.compare(key_b);
  if (by_key != 0) return by_key;
  return path_a.compare(path_b);
}

}  // namespace

FileList::FileList() : collator_(QLocale()) {
  collator_.setCaseSensitivity(Qt::CaseInsensitive);
  collator_.setNumericMode(false);
  fold_case_first_ = collator_.locale().language() == QLocale::C;
}

FileList::Entry FileList::MakeEntry(std::string path) const {
  QString text = QString::fromUtf8(path.data(), qsizetype(path.size()));
  if (fold_case_first_) text = text.toCaseFolded();
  QCollatorSortKey key = collator_.sortKey(text);
  return Entry{std::move(path), key};
}

std::size_t FileList::LowerBound(const QCollatorSortKey& key, const std::string& path) const {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), 0, [&](const Entry& entry, int) {
    return CompareEntries(entry.key, entry.path, key, path) < 0;
  });
  return static_cast<std::size_t>(it - entries_.begin());
}

int FileList::Add(std::string path) {
  Entry entry = MakeEntry(std::move(path));
  const std::size_t at = LowerBound(entry.key, entry.path);
  if (at < entries_.size() && entries_[at].path == entry.path) return static_cast<int>(at);
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
  return static_cast<int>(at);
}

int FileList::IndexOf(const std::string& path) const {
  const Entry probe = MakeEntry(path);
  const std::size_t at = LowerBound(probe.key, probe.path);
  if (at < entries_.size() && entries_[at].path == path) return static_cast<int>(at);
  return -1;
}

void FileList::SortAndDropDuplicates(std::size_t sorted_count) {
  const auto before = [](const Entry& a, const Entry& b) {
    return CompareEntries(a.key, a.path, b.key, b.path) < 0;
  };
  const auto middle = entries_.begin() + static_cast<std::ptrdiff_t>(sorted_count);
  std::sort(middle, entries_.end(), before);
  std::inplace_merge(entries_.begin(), middle, entries_.end(), before);
  // Equal bytes give equal keys, so repeated paths are neighbours now.
  auto last = std::unique(entries_.begin(), entries_.end(),
                          [](const Entry& a, const Entry& b) { return a.path == b.path; });
  entries_.erase(last, entries_.end());
}

void FileList::Assign(std::vector<std::string> paths) {
  entries_.clear();
  AddAll(std::move(paths));
}

void FileList::AddAll(std::vector<std::string> paths) {
  const std::size_t sorted_count = entries_.size();
  entries_.reserve(sorted_count + paths.size());
  for (std::string& path : paths) entries_.push_back(MakeEntry(std::move(path)));
  SortAndDropDuplicates(sorted_count);
}

void FileList::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  entries_.erase(entries_.begin() + index);
}

const std::string& FileList::operator[](int index) const {
  if (index < 0 || index >= Count())
    throw std::out_of_range("file list index " + std::to_string(index) + " is not listed");
  return entries_[static_cast<std::size_t>(index)].path;
}

}  // namespace zelk
