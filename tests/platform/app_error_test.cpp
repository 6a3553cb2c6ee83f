#include "platform/app_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <ios>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <type_traits>

#include "support/test_support.h"

namespace delvora {
namespace {

// Every error comes from the table: no description typed at a throw.
static_assert(!std::is_constructible_v<AppError, int, std::string>);

TEST(StandardErrorText, JoinsDescriptionLocationLineAndSupportRequest) {
  EXPECT_EQ(StandardErrorText("File not found", FormLocation("PushButton7_Click"), 170),
            "File not found\r\nin Velmark2021/08/31.Form1.PushButton7_Click at line 170\r\r"
            "Please email screenshot of this message to support@quorvane.example");
}

TEST(ErrorFromErrno, MapsTheNumbersHandlersTellApart) {
  EXPECT_EQ(ErrorFromErrno(ENOENT).number(), kErrFileNotFound);
  EXPECT_EQ(ErrorFromErrno(ENOENT).description(), "File not found");
  EXPECT_EQ(ErrorFromErrno(EACCES).number(), kErrPermissionDenied);
  EXPECT_EQ(ErrorFromErrno(EACCES).description(), "Permission denied");
  EXPECT_EQ(ErrorFromErrno(EROFS).number(), kErrPermissionDenied);
  EXPECT_EQ(ErrorFromErrno(EROFS).description(), "Read-only file system");
  EXPECT_EQ(ErrorFromErrno(ENOTDIR).number(), kErrPathNotFound);
  EXPECT_EQ(ErrorFromErrno(ENOTDIR).description(), "Path not found");
  EXPECT_EQ(ErrorFromErrno(ENOSPC).number(), kErrDiskFull);
  // A file-size limit is a full disk to the user.
  EXPECT_EQ(ErrorFromErrno(EFBIG).description(), "Disk full");
  // Not the catch-all "Invalid procedure call or argument".
  EXPECT_EQ(ErrorFromErrno(ENAMETOOLONG).description(),
            "Path/File access error (file name too long)");
}

TEST(StepRunner, ReportsAFailingStepAtItsNumberAndGoesOn) {
  testing::RecordingReporter reporter;
  StepRunner steps(reporter, FormLocation("Form_Load"));
  std::vector<int> ran;
  steps.Do(100, [&] { ran.push_back(100); });
  EXPECT_FALSE(steps.Do(102, [&] { throw StandardError(kErrFileNotFound); }));
  steps.Do(104, [&] { throw std::system_error(EACCES, std::generic_category()); });
  steps.Do(106, [&] { ran.push_back(106); });
  // A stream's failure code 1 is no errno value: it must not read as EPERM.
  steps.Do(108, [&] { throw std::ios_base::failure("stream failed"); });
  // Nothing's own what() reaches the user: not a library's wording, not
  // "std::bad_alloc".
  steps.Do(110, [&] { throw std::runtime_error("vector::_M_range_check"); });
  steps.Do(112, [&] { throw std::bad_alloc(); });
  EXPECT_EQ(ran, (std::vector<int>{100, 106}));
  ASSERT_EQ(reporter.errors.size(), 5u);
  EXPECT_EQ(reporter.errors[0].step, 102);
  EXPECT_EQ(reporter.errors[0].location, "in Velmark2021/08/31.Form1.Form_Load ");
  EXPECT_EQ(reporter.errors[1].number, kErrPermissionDenied);
  EXPECT_NE(reporter.errors[2].number, kErrPermissionDenied);
  EXPECT_EQ(reporter.errors[2].description, "Unexpected failure");
  EXPECT_EQ(reporter.errors[3].description, "Unexpected failure");
  EXPECT_EQ(reporter.errors[4].description, "Out of memory");
}

TEST(StepRunner, AFailingTestRunsTheStatementItGuards) {
  testing::RecordingReporter reporter;
  StepRunner steps(reporter, "here ");
  EXPECT_TRUE(steps.If(104, []() -> bool { throw StandardError(kErrInvalidArgument); }));
  EXPECT_FALSE(steps.If(106, [] { return false; }));
  ASSERT_EQ(reporter.errors.size(), 1u);
  EXPECT_EQ(reporter.errors[0].step, 104);
}

}  // namespace
}  // namespace delvora
