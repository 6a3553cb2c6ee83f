#include "conversion/batch_plan.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace delvora {
namespace {

namespace fs = std::filesystem;
using Kind = Collision::Kind;

// What PlanBatch said of one item: "ok", or the kind and the other item.
std::string Verdict(const std::optional<Collision>& collision) {
  if (!collision) return "ok";
  return (collision->kind == Kind::kPendingInput ? "pending " : "earlier ") +
         std::to_string(collision->other);
}

TEST(PlanBatch, RefusesWhatWouldDestroyAnInputOrAnEarlierResult) {
  testing::TempDir dir;
  const auto p = [&](const char* name) { return (dir / name).string(); };
  fs::create_directories(dir / "x");
  fs::create_directories(dir / "y");
  fs::create_directories(dir / "out");
  for (const char* name : {"a.csv", "a.tsv", "x/a.csv", "y/a.csv", "b.csv", "b.CSV", "data.csv"})
    testing::WriteFile(dir / name, name);
  // Wine makes no symbolic links: the cases that need them are left out.
  std::error_code e[4];
  fs::create_directory_symlink(dir / "out", dir / "linked", e[0]);
  fs::create_symlink(dir / "data.csv", dir / "points.tsv", e[1]);
  fs::create_symlink(dir / "a.tsv", dir / "alias.csv", e[2]);
  fs::create_hard_link(dir / "data.csv", dir / "hard.tsv", e[3]);
  const bool links = !e[0] && !e[1] && !e[2] && !e[3];

  struct Case {
    const char* name;
    std::vector<BatchItem> items;
    std::vector<std::string> verdicts;
    bool needs_links = false;
  };
#ifdef _WIN32
  // One file by two spellings there.
  const std::string b_upper = "ok";
#else
  const std::string b_upper = "earlier 0";
#endif
  const std::vector<Case> cases = {
      {"an input listed after the result that replaces it",
       {{p("a.csv"), p("a.tsv")}, {p("a.tsv"), p("a.tsv")}},
       {"pending 1", "ok"}},
      {"a result written from its own input, then another input's",
       {{p("a.tsv"), p("a.tsv")}, {p("a.csv"), p("a.tsv")}},
       {"ok", "earlier 0"}},
      {"two folders, one output folder",
       {{p("x/a.csv"), p("out/a.tsv")},
        {p("y/a.csv"), p("out/a.tsv")},
        {p("x/a.csv"), p("out/a.tsv")}},
       {"ok", "earlier 0", "ok"}},
      {"one output folder by two spellings",
       {{p("x/a.csv"), p("out/a.tsv")}, {p("y/a.csv"), p("linked/a.tsv")}},
       {"ok", "earlier 0"},
       true},
      {"names differing in case or extension",
       {{p("b.csv"), p("out/b.tsv")},
        {p("b.CSV"), p("out/b.tsv")},
        {p("a.csv"), p("out/a.tsv")},
        {p("a.tsv"), p("out/a.tsv")}},
       {"ok", b_upper, "ok", "earlier 2"}},
      {"the same input twice, even spelled twice",
       {{p("a.csv"), p("out/a.tsv")}, {(dir / "x" / ".." / "a.csv").string(), p("out/a.tsv")}},
       {"ok", "ok"}},
      {"a link in the result's place is replaced, not what it points to",
       {{p("a.csv"), p("points.tsv")}, {p("data.csv"), p("out/data.tsv")}},
       {"ok", "ok"},
       true},
      {"an input read through a link to the result",
       {{p("a.csv"), p("a.tsv")}, {p("alias.csv"), p("out/alias.tsv")}},
       {"pending 1", "ok"},
       true},
      {"an input that is another name of the result's file",
       {{p("a.csv"), p("hard.tsv")}, {p("data.csv"), p("out/data.tsv")}},
       {"pending 1", "ok"},
       true},
      {"a missing input has nothing to lose",
       {{p("a.csv"), p("missing.tsv")}, {p("missing.tsv"), p("out/missing.tsv")}},
       {"ok", "ok"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.needs_links && !links) continue;
    const auto plan = PlanBatch(c.items);
    std::vector<std::string> verdicts;
    for (const auto& collision : plan) verdicts.push_back(Verdict(collision));
    EXPECT_EQ(verdicts, c.verdicts);
  }
}

}  // namespace
}  // namespace delvora
