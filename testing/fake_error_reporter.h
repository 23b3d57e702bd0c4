#ifndef TESTING_FAKE_ERROR_REPORTER_H_
#define TESTING_FAKE_ERROR_REPORTER_H_

#include <string>
#include <vector>

// An ErrorReporter that records its messages in order. A message reported
// with isError false is recorded with the prefix "[not an error] ", so a
// test that expects plain messages also checks that they were errors.
void recordReport(std::string message, bool isError);

// Everything recordReport received since the last clearReports().
const std::vector<std::string>& recordedReports();
void clearReports();

#endif  // TESTING_FAKE_ERROR_REPORTER_H_
