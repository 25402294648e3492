// The tests' reach to the Unix side when they run under Wine: a temporary
// folder both sides can name, and commands run by the Unix shell.
#pragma once

#include <string>

namespace testing_support {
namespace win32 {

// A new empty folder for the test run. Under Wine its name is the folder's
// Unix path, which Windows file functions resolve through the drive of a
// current folder on the Unix file system (Z:) and Unix programs read as is.
// Empty when no folder could be made.
std::string MakeTempRoot();

}  // namespace win32
}  // namespace testing_support
