#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rt/text.h"
#include "upgrade/script_pack.h"

namespace pack = upgrade::pack;
using pack::Reader;
using pack::ScriptProblem;

namespace {

struct Taken {
  std::string name;
  std::string body;
  bool has_body_head;
  bool operator==(const Taken&) const = default;
};

// Every record of a pack text, and how the walk ended.
std::pair<std::vector<Taken>, Reader::Step> walk(std::string_view text) {
  Reader r(text);
  std::vector<Taken> out;
  pack::Record rec;
  for (;;) {
    Reader::Step s = r.Next(&rec);
    if (s != Reader::Step::Record) return {out, s};
    out.push_back({std::string(rec.name), std::string(rec.body), rec.has_body_head});
  }
}

}  // namespace

TEST(ScriptPack, RecordsHoldTheReversedScriptBetweenTheMarkers) {
  std::string out;
  pack::append_record(out, "pr_a_MS.sql", "ab\r\ncd");
  out += pack::kEndMarker;
  EXPECT_EQ(out, "$$$$$$pr_a_MS.sql^^^^dc\n\rba####@@@@");
  EXPECT_EQ(out.size(), 35u);

  // Two-byte characters keep their byte order; reversing again restores the script.
  out.clear();
  pack::append_record(out, "x.sql", "a\xD6\xD0" "b");
  EXPECT_EQ(out, "$$$$$$x.sql^^^^b\xD6\xD0" "a####");
}

TEST(ScriptPack, ReaderCutsRecordsInFileOrderAndStopsAtTheEndMarker) {
  auto [records, end] = walk("$$$$$$a.sql^^^^1####$$$$$$b.sql^^^^####@@@@");
  EXPECT_EQ(end, Reader::Step::End);
  EXPECT_EQ(records, (std::vector<Taken>{{"a.sql", "1", true}, {"b.sql", "", true}}));

  std::tie(records, end) = walk("@@@@");
  EXPECT_TRUE(records.empty());
  EXPECT_EQ(end, Reader::Step::End);
}

TEST(ScriptPack, MarkersInsideABodyDoNoHarm) {
  auto [records, end] = walk("$$$$$$a.sql^^^^x^^^^y@@@@z$$$$$$####@@@@");
  EXPECT_EQ(end, Reader::Step::End);
  EXPECT_EQ(records, (std::vector<Taken>{{"a.sql", "x^^^^y@@@@z$$$$$$", true}}));
}

TEST(ScriptPack, TheNameHeadIsSkippedWhateverItHolds) {
  auto [records, end] = walk("abcdefn_MS.sql^^^^body####@@@@");
  EXPECT_EQ(records, (std::vector<Taken>{{"n_MS.sql", "body", true}}));
  EXPECT_EQ(end, Reader::Step::End);

  // A head holding "^^^^" ends the name inside the head: no name.
  std::tie(records, end) = walk("$^^^^$n.sql^^^^body####@@@@");
  EXPECT_EQ(records, (std::vector<Taken>{{"", "$n.sql^^^^body", true}}));
}

TEST(ScriptPack, ARecordWithoutBodyHeadHasNoName) {
  auto [records, end] = walk("$$$$$$n_MS.sql body####@@@@");
  EXPECT_EQ(records, (std::vector<Taken>{{"", "", false}}));
  EXPECT_EQ(end, Reader::Step::End);
}

TEST(ScriptPack, APackWithoutItsEndMarkerIsIncomplete) {
  for (std::string text : {"", "@@@", "@@@@x", "x@@@@", "$$$$$$a.sql^^^^1####", "$$$$$$a.sql^^^^1####$$$$$$b.sql^^^^2##"}) {
    auto [records, end] = walk(text);
    EXPECT_EQ(end, Reader::Step::Incomplete) << text;
  }
  Reader r("$$$$$$a.sql^^^^1####$$$$$$b.sq");
  pack::Record rec;
  EXPECT_EQ(r.Next(&rec), Reader::Step::Record);
  EXPECT_EQ(r.Next(&rec), Reader::Step::Incomplete);
  EXPECT_EQ(r.rest(), "$$$$$$b.sq");
}

TEST(ScriptPack, RecordsLongerThanSixteenBitPositionsAreCutCorrectly) {
  std::string script(40000, 'x');
  script[0] = 'A';
  script.back() = 'Z';
  std::string text;
  pack::append_record(text, "big_MS.sql", script);
  pack::append_record(text, "next_MS.sql", "n");
  text += pack::kEndMarker;
  auto [records, end] = walk(text);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].body.size(), 40000u);
  EXPECT_EQ(records[0].body.front(), 'Z');
  EXPECT_EQ(records[0].body.back(), 'A');
  EXPECT_EQ(records[1].name, "next_MS.sql");
  EXPECT_EQ(end, Reader::Step::End);
}

TEST(ScriptPack, ScriptsThatWouldNotReadBackWholeAreRefused) {
  const std::string ok_script = "drop procedure p\r\ngo\r\ncreate procedure p as begin end";
  struct Case {
    std::string name;
    std::string script;
    ScriptProblem want;
  };
  const std::vector<Case> cases = {
      {"p_MS.sql", ok_script, ScriptProblem::Ok},
      {"p_MS.sql", "-- \xD6\xD0\xCE\xC4\r\n" + ok_script, ScriptProblem::Ok},
      {"p_MS.sql", ok_script + "#", ScriptProblem::Ok},  // ends with "#": harmless
      {"p_MS.sql", "", ScriptProblem::Empty},
      {"p_MS.sql", ok_script + "\r\n-- ####", ScriptProblem::HoldsRecordEnd},
      {"p_MS.sql", "#" + ok_script, ScriptProblem::StartsWithHash},
      {"p_MS.sql", ok_script + "\xD6", ScriptProblem::NotGbk},
      {"p_MS.sql", "\x80" + ok_script, ScriptProblem::NotGbk},
      {"p^^^^MS.sql", ok_script, ScriptProblem::BadName},
      {"p####MS.sql", ok_script, ScriptProblem::BadName},
      {"p_MS.sql^", ok_script, ScriptProblem::BadName},
      {"", ok_script, ScriptProblem::BadName},
      {"p_MS.sql", std::string(32756 - 8, 'x'), ScriptProblem::Ok},
      {"p_MS.sql", std::string(32756 - 7, 'x'), ScriptProblem::RecordTooLong},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(pack::check_script(c.name, c.script), c.want) << c.name << " / " << c.script.size();
    if (c.want != ScriptProblem::Ok) continue;
    // Whatever is accepted reads back as it was written.
    std::string text;
    pack::append_record(text, c.name, c.script);
    text += pack::kEndMarker;
    auto [records, end] = walk(text);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].name, c.name);
    EXPECT_EQ(*rt::reverse(records[0].body), c.script);
    EXPECT_EQ(end, Reader::Step::End);
  }
}
