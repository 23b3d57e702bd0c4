#ifndef BASE_ERROR_REPORTER_H_
#define BASE_ERROR_REPORTER_H_

#include <string>

// Receives the one-line messages of failing steps. Every step that can fail
// takes one and passes the same pointer on.
typedef void (*ErrorReporter)(std::string message, bool isError);

// Writes "message" and a newline to standard error when "isError" is true,
// else to standard output, and flushes. Adds nothing else.
void report_error_main(std::string message, bool isError);

#endif  // BASE_ERROR_REPORTER_H_
