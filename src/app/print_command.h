#pragma once
// "&Print": the whole working bitmap on one page, as large as the page allows below
// a 100-pixel title band, in the orientation that suits the image, optionally titled
// with the image's description from the window caption.

#include <functional>
#include <string>

class QPrinter;

namespace zelk {

class Bitmap;
class Desktop;

// Runs work and returns once it has ended, throwing what it threw. The main window
// runs it on a thread of its own while the window goes on repainting.
using WorkRunner = std::function<void(const std::function<void()>& work)>;

// Asks whether to print the title, shows the print dialog and prints one page, the
// page's painting through run_page. Cancelling the dialog prints nothing. Printer
// failures (no printer, the job refused, the output file not writable) throw
// std::runtime_error with the reason, for the form's exception display.
void RunPrintCommand(
    Desktop& desktop, const Bitmap& image, const std::string& caption,
    const std::string& current_path,
    const WorkRunner& run_page = [](const std::function<void()>& work) { work(); });

// Prints image on one page of an already configured printer (orientation, document
// name), with title in the band above it unless title is empty. Throws as above.
void PrintImagePage(QPrinter& printer, const Bitmap& image, const std::string& title);

}  // namespace zelk
