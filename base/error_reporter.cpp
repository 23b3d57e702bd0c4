#include "base/error_reporter.h"

#include <iostream>

void report_error_main(std::string message, bool isError) {
  std::ostream& stream = isError ? std::cerr : std::cout;
  stream.write(message.data(), static_cast<std::streamsize>(message.size()));
  stream << '\n';
  stream.flush();
}
