#include <cstdlib>

#include "support/support.h"

namespace zelk {

std::string RandomLetters(int count) {
  std::string letters;
  if (count <= 0) return letters;
  letters.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) letters += static_cast<char>('A' + std::rand() % 26);
  return letters;
}

}  // namespace zelk
