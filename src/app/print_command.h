#pragma once
// "&Print": the whole working bitmap on one page, as large as the page allows below
// a 100-pixel title band, in the orientation that suits the image, optionally titled
// with the image's description from the window caption.

#include <string>

class QPrinter;

namespace zelk {

class Bitmap;
class Desktop;

// Asks whether to print the title, shows the print dialog and prints one page.
// Cancelling the dialog prints nothing. Printer failures (no printer, the job
// refused, the output file not writable) throw std::runtime_error with the reason,
// for the form's exception display.
void RunPrintCommand(Desktop& desktop, const Bitmap& image, const std::string& caption,
                     const std::string& current_path);

// Prints image on one page of an already configured printer (orientation, document
// name), with title in the band above it unless title is empty. Throws as above.
void PrintImagePage(QPrinter& printer, const Bitmap& image, const std::string& title);

}  // namespace zelk
