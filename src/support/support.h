#pragma once
// The support library: the one message wrapper and the message log, whole-file
// reading and writing with retried opens and closes, the process start-up state
// (program folder, locale, random seed), the command line with its executable
// redirection, the confirmation dialog, and the number formatting and file facts
// of the status line.
//
// Texts are std::string holding raw bytes (UTF-8 on Linux); an empty text and a
// missing text are the same. Failures come back as an empty text or a false result;
// what the user must know of is reported here, through the current Desktop.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zelk {

// ---- Application title -------------------------------------------------------
// The task-bar title of the program; message boxes use it as their caption.
// Starts as "Zelk Zoomer"; the load and paste commands set it to the file name.
void SetApplicationTitle(std::string title);
std::string ApplicationTitle();

// ---- Paths and letter case --------------------------------------------------
// Paths are byte strings; "/" is the only delimiter.
// Everything up to and including the last "/" ("" when there is none).
std::string PathPart(const std::string& path);
// Everything after the last "/" (the whole path when there is none).
std::string FileNamePart(const std::string& path);
// From the last "." that follows the last "/", dot included; "" when the name part
// holds no dot.
std::string ExtensionOf(const std::string& path);
// The path without ExtensionOf(path).
std::string RemoveExtension(const std::string& path);
// ASCII letters lower-cased; every other byte unchanged.
std::string LowerCaseAscii(std::string text);
// Upper-cases text for comparisons and captions: ASCII letters by the plain rule
// (so a Turkish locale's dotted capital I never turns ".ico" into something else),
// other letters by Unicode when the text is valid UTF-8; invalid UTF-8 keeps its
// non-ASCII bytes as they are.
std::string UpperCaseText(const std::string& text);

// ---- Messages and the message log -------------------------------------------
// Trims bytes <= 32 from both ends, brings the application to the front and shows
// the text in a modal box with one OK button, captioned with the application title.
void ReportMessage(const std::string& text);
void BringAppToFront();
// Appends a two-line entry (date and time, user, current directory; then the text,
// each line ending in CR LF) to "orvowebserve_msgs.log" in ProgramFolder(). A failure
// to write is not reported to the caller.
void AppendMessageLog(const std::string& text);
// The effective user's login name; empty when it cannot be had.
std::string GetLoginUserName();

// The first line of a log entry without its CR LF, and the whole entry. Split out so
// the layout can be checked without touching the clock or the file system.
std::string MessageLogHeading(const std::string& date_time, const std::string& user,
                              const std::string& current_dir);
std::string MessageLogEntry(const std::string& heading, const std::string& text);
// Local date and time in the user's short date and long time formats; the blank and
// the time are left out when hours, minutes and seconds are all zero.
std::string DateTimeToText(int year, int month, int day, int hour, int minute, int second);
// Bytes <= 32 removed from both ends; inner ones stay.
std::string TrimControlChars(const std::string& text);

// ---- File operations with retries --------------------------------------------
// Sleeps in slices of at most 1000 ms, processing pending events after each slice.
// 0 or less returns at once.
void PauseWithMessages(int milliseconds);
// Up to 10 attempts 93 ms apart; nullptr when all failed. Reports nothing. errno is
// that of the last attempt.
std::FILE* OpenFileRetrying(const std::string& name, const std::string& mode);
// Opens an existing regular file for reading, at once: never waits (a pipe's open
// would wait for a writer) and never opens a pipe, device, socket or folder. nullptr
// with `reason` saying why ("not a regular file", or the system's text); no retries,
// nothing reported.
std::FILE* OpenRegularFileForReading(const std::string& name, std::string& reason);
// Closes the stream exactly once (a failed close releases it all the same); a failure
// is logged at once as "Cannot Close File Handle". Returns 0 when closed cleanly,
// nonzero otherwise; nullptr gives 0.
int CloseFileRetrying(std::FILE* stream);
// The whole file as a text; empty when missing, empty, unreadable, not a regular file
// or 2 GiB or more (an existing file that cannot be opened, or one too large, is
// reported).
std::string ReadWholeFile(const std::string& name);
// A leading "+" appends (an empty content then creates nothing). Otherwise the file
// is replaced through FileReplacement (support/file_replacement.h): refused where a
// plain write would be, the old content kept on any failure, links, permissions and
// owner kept. True exactly when the whole content reached the file.
bool WriteWholeFile(const std::string& name, const std::string& content);
// Puts back the old content of every file whose in-place replacement was cut off
// (the program killed mid-write), and reports each one that cannot be put back,
// naming where its old content is kept. The program calls it at start, once the
// Desktop is set and before anything is loaded.
void RecoverUnfinishedFileReplacements();
// The system's description of errno, trimmed.
std::string LastSystemErrorText();

// ---- File facts ---------------------------------------------------------------
// Size in bytes, 0 when it cannot be found; retries (83 ms apart, at most 10 queries)
// except on "no such file" or "not a directory"; an empty file is asked once more
// after 250 ms.
std::int64_t FileSizeOf(const std::string& path);
// True when path names an existing entry that is not a folder; retries (183 ms apart,
// at most 21 queries) except on "no such file" or "not a directory".
bool FileExistsRetrying(const std::string& path);

// ---- Start-up state -----------------------------------------------------------
// Runs once (later calls do nothing), after SetCommandLine and SetDesktop and before
// the main window exists: fixes ProgramFolder(), sets up the locale and seeds the
// C library's random generator.
void SupportLibraryStartup();
// The folder of the (possibly redirected) executable, absolute, ending in "/".
std::string GetProgramFolder();
// The folder part of an executable path made into the program folder: path part,
// Windows prefix rules, "./" when empty, made absolute against the current folder.
// Empty when the current folder cannot be had.
std::string ProgramFolderFromExecutablePath(const std::string& executable_path);
// The Windows long-path prefix rules as plain text rules: a leading "\\?\" goes,
// then a leading "unc\" (any case) becomes "\\".
std::string ApplyLongPathPrefixRules(std::string folder);
// The program folder fixed at start; empty before SupportLibraryStartup.
const std::string& ProgramFolder();
// Takes the user's locale for dates and separators (the C library's own number
// conversions stay in the "C" notation), then seeds the random generator. True when
// the locale could be set.
bool SetUpLocale();
void SeedRandomFromClock();
// The seed for a time of day given as a fraction of 24 hours: the fraction times 1e9,
// truncated, its decimal digits reversed and read back (0.5 gives 5, 0.25 gives 52).
long RandomSeedFromDayFraction(long double fraction);
// count capital letters 'A' + rand() % 26; empty for count <= 0.
std::string RandomLetters(int count);

// ---- Command line ---------------------------------------------------------------
// Keeps the process arguments; argument 0 becomes the running executable's full path
// (from /proc/self/exe where available).
void SetCommandLine(int argc, char** argv);
// Argument n; argument 0 is the executable path, redirected into the folder named by
// "redirect_exes.txt" beside the executable when that file has content (read once,
// on the first call). Empty when there is no such argument.
std::string CommandLineArgument(int n);
// The options, each only ever the first argument: --help, -h, --version, --diff (all
// answered without a window) and --compare.
bool IsProgramOption(const std::string& argument);
// The file or folder to open: the first argument (the second after "--", so a name may
// start with "-"); arguments after it are not looked at. Empty when the first argument
// is one of the options.
std::string FileArgument();
// A yes/no question (or, when the text starts with "@", an OK/Cancel notice) under
// the upper-cased executable name, after a system sound. True for Yes or OK.
bool ConfirmWithSound(std::string text);

// ---- Number formatting ------------------------------------------------------------
// The locale's separators, fixed by SetUpLocale; "," and "." until then.
void SetNumberSeparators(std::string thousands, std::string decimal);
std::string ThousandsSeparator();
std::string DecimalSeparator();
// Digit groups of three with the thousands separator; exact for every 64-bit value.
std::string FormatWholeNumber(std::int64_t value);
// Up to 15 significant digits, no trailing zeros; fixed notation for magnitudes from
// 1e-5 up to 15 integer digits, otherwise mantissa "E" exponent (1E20, 1.5E-7).
std::string FormatGeneral(long double value);
// Half away from zero at n decimals, in long double.
long double RoundToDecimals(long double value, int decimals);
std::string FormatDecimals(long double value, int decimals);
std::int64_t MinInt64(std::int64_t a, std::int64_t b);
// value - floor(value): in [0, 1) also for negative values.
long double FractionalPart(long double value);

// Test hooks: the process-wide state that the program sets once at start.
namespace testing {
// args[0] is taken verbatim as the executable path.
void SetCommandLineForTesting(std::vector<std::string> args);
// Forgets the redirection read, so the next CommandLineArgument reads the file again.
void ResetRedirection();
void SetProgramFolderForTesting(std::string folder);
}  // namespace testing

}  // namespace zelk
