#include "codecs/metafile_writer.h"

namespace zelk {

void WriteWmf(const Bitmap&, std::FILE*) { throw ImageError("metafiles cannot be written yet"); }
void WriteEmf(const Bitmap&, std::FILE*) { throw ImageError("metafiles cannot be written yet"); }

}  // namespace zelk
