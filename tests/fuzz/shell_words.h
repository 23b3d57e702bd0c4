#ifndef TESTS_FUZZ_SHELL_WORDS_H_
#define TESTS_FUZZ_SHELL_WORDS_H_

#include <optional>
#include <string>
#include <vector>

// A reference reading of a POSIX sh command line, kept apart from the code
// that quotes, for the fuzz targets to check it against.
//
// Returns the words the shell would pass to the program for "line", or
// nullopt when the line leaves the subset in which every byte is taken
// literally: words separated by blanks and tabs, made of bare characters that
// the shell gives no meaning to, single-quoted text, double-quoted text with
// no $, ` or \ inside, and a backslash before any character but a newline.
// An unquoted character that the shell would expand, split at, run or treat
// as a reserved word or comment, and an unterminated quote, give nullopt.
std::optional<std::vector<std::string>> splitShellWords(
    const std::string& line);

#endif  // TESTS_FUZZ_SHELL_WORDS_H_
