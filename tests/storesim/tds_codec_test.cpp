// The wire codec on its own: packets, text, the client's requests (well
// formed and not) and the column values.
#include <gtest/gtest.h>

#include <random>

#include "storesim/tds.h"
#include "support/posix/raw_client.h"

namespace storesim::tds {
namespace {

using testing::Login7Payload;

TEST(TdsPackets, SplitsAtThePacketSizeAndMarksOnlyTheLast) {
  Bytes payload(1000);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i);
  std::vector<Bytes> packets = SplitMessage(kReply, payload, 512, 0x0033);
  ASSERT_EQ(packets.size(), 2u);  // 504 + 496 bytes of payload
  Bytes joined;
  for (std::size_t k = 0; k < packets.size(); ++k) {
    std::optional<PacketHeader> h = ParseHeader(packets[k]);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->length, packets[k].size());
    EXPECT_LE(h->length, 512);
    EXPECT_EQ(h->type, kReply);
    EXPECT_EQ(h->spid, 0x0033);
    EXPECT_EQ(h->packet_id, k + 1);
    EXPECT_EQ((h->status & kStatusEndOfMessage) != 0, k + 1 == packets.size());
    joined.insert(joined.end(), packets[k].begin() + kHeaderSize, packets[k].end());
  }
  EXPECT_EQ(joined, payload);

  // An empty message is one header; a packet size below the minimum is raised to it.
  std::vector<Bytes> empty = SplitMessage(kReply, {}, 4096, 0);
  ASSERT_EQ(empty.size(), 1u);
  EXPECT_EQ(empty[0].size(), kHeaderSize);
  EXPECT_EQ(SplitMessage(kReply, payload, 10, 0).size(), 2u);
}

TEST(TdsPackets, HeaderRefusesShortInputAndLengthsBelowTheHeader) {
  EXPECT_FALSE(ParseHeader(Bytes{1, 1, 0, 8, 0, 0, 1}));
  EXPECT_FALSE(ParseHeader(Bytes{1, 1, 0, 7, 0, 0, 1, 0}));
  std::optional<PacketHeader> h = ParseHeader(Bytes{1, 1, 0x10, 0x00, 0, 0, 1, 0});
  ASSERT_TRUE(h);
  EXPECT_EQ(h->length, 0x1000);  // big-endian
}

TEST(TdsText, Utf16RoundTripsChineseAndPairsAndReplacesBrokenInput) {
  const std::string text = "upgrade 岚舟商业 \xF0\x9F\x98\x80 end";  // with a character beyond the BMP
  Bytes wire = Utf8ToUtf16Le(text);
  EXPECT_EQ(Utf16LeToUtf8(wire), text);
  EXPECT_EQ(Utf16Length(text), 19u);  // the emoji takes two units

  EXPECT_EQ(Utf16LeToUtf8(Bytes{0x00, 0xD8, 0x41, 0x00}), "\xEF\xBF\xBD" "A");  // unpaired high surrogate
  EXPECT_EQ(Utf16LeToUtf8(Bytes{0x00, 0xDC}), "\xEF\xBF\xBD");                  // lone low surrogate
  EXPECT_EQ(Utf16LeToUtf8(Bytes{0x41, 0x00, 0x42}), "A");                       // odd byte dropped
  EXPECT_EQ(Utf16LeToUtf8(Utf8ToUtf16Le("a\xC3")), "a\xEF\xBF\xBD");            // cut sequence
  EXPECT_EQ(Utf16LeToUtf8(Utf8ToUtf16Le("\xED\xA0\x80")), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // encoded surrogate
}

TEST(TdsLogin, ReadsTheFieldsAndDecodesThePassword) {
  Bytes p = Login7Payload("tandrel", "tolvank", "门店库", 0x74000004, 8192);
  std::optional<Login7> login = ParseLogin7(p);
  ASSERT_TRUE(login);
  EXPECT_EQ(login->tds_version, 0x74000004u);
  EXPECT_EQ(login->packet_size, 8192u);
  EXPECT_EQ(login->user, "tandrel");
  EXPECT_EQ(login->password, "tolvank");
  EXPECT_EQ(login->database, "门店库");
  EXPECT_EQ(login->app_name, "raw_client");
  EXPECT_EQ(login->host, "testhost");
}

TEST(TdsLogin, RefusesLengthsAndOffsetsOutsideTheRecord) {
  Bytes good = Login7Payload("tandrel", "tolvank", "store");
  EXPECT_FALSE(ParseLogin7(Bytes(good.begin(), good.begin() + 60)));  // shorter than the fixed part

  Bytes declared_long = good;
  declared_long[0] = static_cast<std::uint8_t>(good.size() + 1);
  EXPECT_FALSE(ParseLogin7(declared_long));

  Bytes user_past_end = good;
  user_past_end[42] = 0xFF;  // user name character count
  user_past_end[43] = 0x7F;
  EXPECT_FALSE(ParseLogin7(user_past_end));

  Bytes db_offset_past_end = good;
  db_offset_past_end[68] = 0xFF;
  db_offset_past_end[69] = 0xFF;
  EXPECT_FALSE(ParseLogin7(db_offset_past_end));

  // Trailing bytes beyond the declared length are not part of the record.
  Bytes trailing = good;
  trailing.insert(trailing.end(), {1, 2, 3});
  ASSERT_TRUE(ParseLogin7(trailing));
  EXPECT_EQ(ParseLogin7(trailing)->database, "store");
}

TEST(TdsPrelogin, ReplyOffersNoEncryptionAndClientOptionsAreBounded) {
  std::optional<PreloginRequest> reply = ParsePrelogin(BuildPreloginReply());
  ASSERT_TRUE(reply);
  ASSERT_TRUE(reply->encryption);
  EXPECT_EQ(*reply->encryption, Encryption::NotSupported);
  ASSERT_TRUE(reply->client_version);

  std::optional<PreloginRequest> client = ParsePrelogin(testing::PreloginPayload());
  ASSERT_TRUE(client);
  EXPECT_EQ(client->encryption, Encryption::Off);

  EXPECT_FALSE(ParsePrelogin(Bytes{}));                                 // no terminator
  EXPECT_FALSE(ParsePrelogin(Bytes{0x01, 0x00, 0x06, 0x00, 0x01}));     // option list runs off the end
  EXPECT_FALSE(ParsePrelogin(Bytes{0x01, 0x00, 0x06, 0x00, 0x05, 0xFF, 0x00}));  // data past the end
  EXPECT_TRUE(ParsePrelogin(Bytes{0xFF}));
}

TEST(TdsRequests, BatchNeedsItsHeadersAndWholeCharacters) {
  std::optional<SqlBatch> b = ParseSqlBatch(testing::BatchPayload("select 1 -- 中文", 0x1234));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->text, "select 1 -- 中文");
  EXPECT_EQ(b->transaction_descriptor, 0x1234u);

  Bytes odd = testing::BatchPayload("x");
  odd.push_back(0);
  EXPECT_FALSE(ParseSqlBatch(odd));
  EXPECT_FALSE(ParseSqlBatch(Bytes{0x16, 0, 0}));                  // total length cut
  EXPECT_FALSE(ParseSqlBatch(Bytes{0xFF, 0xFF, 0, 0, 0x41, 0}));   // total beyond the message
  EXPECT_FALSE(ParseSqlBatch(Bytes{0x02, 0, 0, 0}));               // total smaller than itself
  Bytes header_overrun = testing::BatchPayload("x");
  header_overrun[4] = 0x40;  // first header claims more than the block
  EXPECT_FALSE(ParseSqlBatch(header_overrun));
  Bytes header_too_short = testing::BatchPayload("x");
  header_too_short[4] = 0x02;
  EXPECT_FALSE(ParseSqlBatch(header_too_short));
  // Headers of other kinds are skipped.
  Bytes other = {0x0A, 0, 0, 0, 0x06, 0, 0, 0, 0x03, 0, 'a', 0};
  ASSERT_TRUE(ParseSqlBatch(other));
  EXPECT_EQ(ParseSqlBatch(other)->text, "a");
}

TEST(TdsRequests, TransactionRequestsAsTheDriverSendsThem) {
  std::optional<TransactionRequest> begin = ParseTransactionRequest(testing::TransactionPayload({5, 0, 1, 0}));
  ASSERT_TRUE(begin);
  EXPECT_EQ(begin->kind, TransactionRequestKind::Begin);
  EXPECT_EQ(begin->isolation, 1);

  std::optional<TransactionRequest> commit =
      ParseTransactionRequest(testing::TransactionPayload({7, 0, 0, 1, 0, 0}, 0x99));
  ASSERT_TRUE(commit);
  EXPECT_EQ(commit->kind, TransactionRequestKind::Commit);
  EXPECT_TRUE(commit->begin_new);
  EXPECT_EQ(commit->transaction_descriptor, 0x99u);

  std::optional<TransactionRequest> rollback = ParseTransactionRequest(testing::TransactionPayload({8, 0, 0, 0}));
  ASSERT_TRUE(rollback);
  EXPECT_EQ(rollback->kind, TransactionRequestKind::Rollback);
  EXPECT_FALSE(rollback->begin_new);

  std::optional<TransactionRequest> no_flag = ParseTransactionRequest(testing::TransactionPayload({8, 0, 0}));
  ASSERT_TRUE(no_flag);
  EXPECT_FALSE(no_flag->begin_new);

  std::optional<TransactionRequest> named = ParseTransactionRequest(testing::TransactionPayload({5, 0, 2, 2, 't', 0, 'x', 0}));
  ASSERT_TRUE(named);
  EXPECT_EQ(named->name, "tx");

  EXPECT_EQ(ParseTransactionRequest(testing::TransactionPayload({9, 0}))->kind, TransactionRequestKind::Other);
  EXPECT_FALSE(ParseTransactionRequest(testing::TransactionPayload({5})));            // type cut
  EXPECT_FALSE(ParseTransactionRequest(testing::TransactionPayload({5, 0, 1, 9})));   // name runs off the end
  EXPECT_FALSE(ParseTransactionRequest(testing::TransactionPayload({7, 0})));         // no name
}

// sp_prepexec as the FreeTDS driver sends it for a prepared statement
// without parameters: the handle (output, NULL), the definitions (NULL
// ntext) and the statement (ntext).
Bytes PrepExecPayload(const std::string& sql) {
  Bytes body = {0xFF, 0xFF, kSpPrepExec, 0x00, 0x00, 0x00};
  body.insert(body.end(), {0x00, 0x01, 0x26, 0x04, 0x00});
  body.insert(body.end(), {0x00, 0x00, 0x63, 0, 0, 0, 0, 0x04, 0x08, 0xD0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF});
  Bytes text = Utf8ToUtf16Le(sql);
  auto n = static_cast<std::uint32_t>(text.size());
  Bytes len = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8), 0, 0};
  body.insert(body.end(), {0x00, 0x00, 0x63});
  body.insert(body.end(), len.begin(), len.end());
  body.insert(body.end(), {0x04, 0x08, 0xD0, 0, 0});
  body.insert(body.end(), len.begin(), len.end());
  body.insert(body.end(), text.begin(), text.end());
  return testing::TransactionPayload(body);  // the same headers start every request
}

TEST(TdsRequests, ProcedureCallsCarryTheirStatementAndParameters) {
  std::optional<RpcRequest> rpc = ParseRpc(PrepExecPayload("select 1 -- 门店"));
  ASSERT_TRUE(rpc);
  EXPECT_EQ(rpc->proc_id, kSpPrepExec);
  ASSERT_EQ(rpc->params.size(), 3u);
  EXPECT_TRUE(rpc->params[0].output);
  EXPECT_TRUE(rpc->params[0].is_null);
  EXPECT_TRUE(rpc->params[1].is_null);
  EXPECT_EQ(rpc->params[2].text, "select 1 -- 门店");
  EXPECT_FALSE(rpc->unsupported_type);

  // Named, with an int, a varchar in code page 936 and a streamed nvarchar.
  Bytes named = {0x04, 0x00, 's', 0, 'p', 0, '_', 0, 'x', 0, 0x00, 0x00};
  named.insert(named.end(), {0x00, 0x00, 0x26, 0x04, 0x04, 0xFE, 0xFF, 0xFF, 0xFF});  // -2
  named.insert(named.end(), {0x01, 'v', 0, 0x00, 0xA7, 0x10, 0x00, 0x04, 0x08, 0xD0, 0, 0, 0x02, 0x00, 0xC3, 0xC5});
  named.insert(named.end(), {0x00, 0x00, 0xE7, 0xFF, 0xFF, 0x04, 0x08, 0xD0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0,
                             2, 0, 0, 0, 'a', 0, 2, 0, 0, 0, 'b', 0, 0, 0, 0, 0});
  named.insert(named.end(), {0x00, 0x00, 0x3E, 0, 0, 0, 0, 0, 0, 0, 0});  // float: not read
  rpc = ParseRpc(testing::TransactionPayload(named));
  ASSERT_TRUE(rpc);
  EXPECT_EQ(rpc->proc_name, "sp_x");
  ASSERT_EQ(rpc->params.size(), 3u);
  EXPECT_EQ(rpc->params[0].integer, -2);
  EXPECT_EQ(rpc->params[1].name, "v");
  EXPECT_EQ(rpc->params[1].text, "门");
  EXPECT_EQ(rpc->params[2].text, "ab");
  EXPECT_EQ(rpc->unsupported_type, 0x3E);

  Bytes cut = PrepExecPayload("select 1");
  cut.resize(cut.size() - 3);
  EXPECT_FALSE(ParseRpc(cut));
  Bytes bad_intn = testing::TransactionPayload({0xFF, 0xFF, 13, 0, 0, 0, 0x00, 0x01, 0x26, 0x03, 0x00});
  EXPECT_FALSE(ParseRpc(bad_intn));
}

// Whatever bytes arrive, the decoders stay inside them (the sanitizer
// build turns any stray read into a failure) and do not throw.
TEST(TdsRequests, RandomDamageNeverReadsOutsideTheMessage) {
  const Bytes seeds[] = {
      Login7Payload("tandrel", "tolvank", "store"),
      testing::PreloginPayload(),
      testing::BatchPayload("select 1"),
      testing::TransactionPayload({7, 0, 0, 1, 2, 0}),
      PrepExecPayload("select 1"),
  };
  std::mt19937 rng(20190110);
  int parsed = 0;
  for (const Bytes& seed : seeds) {
    for (int round = 0; round < 3000; ++round) {
      Bytes b = seed;
      int edits = 1 + static_cast<int>(rng() % 6);
      for (int e = 0; e < edits; ++e) {
        switch (rng() % 4) {
          case 0:
            if (!b.empty()) b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
            break;
          case 1:
            if (!b.empty()) b.resize(rng() % b.size());
            break;
          case 2:
            b.insert(b.begin() + static_cast<std::ptrdiff_t>(b.empty() ? 0 : rng() % b.size()),
                     static_cast<std::uint8_t>(rng()));
            break;
          default:
            if (b.size() > 4) b[rng() % 4] = 0xFF;  // lengths at the front
            break;
        }
      }
      parsed += ParseLogin7(b).has_value() + ParsePrelogin(b).has_value() + ParseSqlBatch(b).has_value() +
                ParseTransactionRequest(b).has_value() + ParseRpc(b).has_value();
      (void)ParseHeader(b);
    }
  }
  EXPECT_GT(parsed, 0);  // some damage leaves a readable message; the rest is refused
}

TEST(TdsValues, DecimalsAreScaledSignedMagnitudes) {
  auto magnitude = [](const Bytes& b) {
    std::uint64_t v = 0;
    for (int i = 8; i >= 1; --i) v = (v << 8) | b[static_cast<std::size_t>(i)];
    return v;
  };
  std::optional<Bytes> d = EncodeDecimal("12.34", 4);
  ASSERT_TRUE(d);
  ASSERT_EQ(d->size(), 17u);
  EXPECT_EQ((*d)[0], 1);
  EXPECT_EQ(magnitude(*d), 123400u);

  d = EncodeDecimal("-0.5", 1);
  ASSERT_TRUE(d);
  EXPECT_EQ((*d)[0], 0);
  EXPECT_EQ(magnitude(*d), 5u);

  EXPECT_EQ(magnitude(*EncodeDecimal("2.675", 2)), 268u);  // half away from zero
  EXPECT_EQ(magnitude(*EncodeDecimal(" 7 ", 0)), 7u);
  EXPECT_EQ(magnitude(*EncodeDecimal(".5", 1)), 5u);
  EXPECT_EQ((*EncodeDecimal("-0.00", 2))[0], 1);  // no negative zero

  // 38 digits fit; 39 do not.
  EXPECT_TRUE(EncodeDecimal(std::string(38, '9'), 0));
  EXPECT_FALSE(EncodeDecimal(std::string(39, '9'), 0));
  EXPECT_FALSE(EncodeDecimal(std::string(36, '9'), 4));
  for (const char* bad : {"", "-", ".", "1.2.3", "1e5", "abc", "12a"}) EXPECT_FALSE(EncodeDecimal(bad, 2)) << bad;
}

TEST(TdsValues, DateTimesCountDaysFrom1900AndThreeHundredthsOfASecond) {
  auto parts = [](const Bytes& b) {
    std::int32_t days = static_cast<std::int32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
    std::uint32_t ticks = b[4] | (b[5] << 8) | (b[6] << 16) | (static_cast<std::uint32_t>(b[7]) << 24);
    return std::pair<std::int32_t, std::uint32_t>(days, ticks);
  };
  EXPECT_EQ(parts(*EncodeDateTime("1900-01-01")), std::make_pair(0, 0u));
  EXPECT_EQ(parts(*EncodeDateTime("1900-03-01 00:00:01")), std::make_pair(59, 300u));  // 1900 is no leap year
  EXPECT_EQ(parts(*EncodeDateTime("2019-01-10 12:00:00.000")), std::make_pair(43473, 300u * 43200));
  EXPECT_EQ(parts(*EncodeDateTime("2000-02-29T00:00:00.010")), std::make_pair(36583, 3u));
  EXPECT_EQ(parts(*EncodeDateTime("1999-12-31 23:59:59.999")), std::make_pair(36524, 0u));  // rounds into the next day
  EXPECT_EQ(parts(*EncodeDateTime("1753-01-01")).first, -53690);
  for (const char* bad : {"", "2019-02-29", "2019-13-01", "2019-01-10 24:00", "19-01-10", "1752-12-31", "2019-01-10 x",
                          "2019-01-10 12:60:00"}) {
    EXPECT_FALSE(EncodeDateTime(bad)) << bad;
  }
}

TEST(TdsTokens, ResultsTurnIntoColumnsAndRowsOfTheirWireTypes) {
  ResultSet rs;
  rs.columns = {{"name", ColumnType::VarChar, 10}, {"n", ColumnType::Int, 0}, {"amt", ColumnType::Decimal, 0},
                {"at", ColumnType::DateTime, 0}};
  rs.rows = {{std::string("门店"), std::string("42"), std::string("1.50"), std::string("2019-01-10")},
             {std::nullopt, std::nullopt, std::nullopt, std::nullopt},
             {std::string("一二三四五六七八"), std::string("-7"), std::string("0"), std::string("2019-01-10 01:02:03")}};
  TokenWriter w;
  w.Result(rs);
  w.Done(kDoneCount, kCmdSelect, 3);
  testing::Reply r = testing::ScanReply(w.bytes());
  ASSERT_TRUE(r.well_formed);
  ASSERT_EQ(r.rows.size(), 3u);
  EXPECT_EQ(r.rows[0][0], "门店");
  EXPECT_EQ(r.rows[0][1], "42");
  EXPECT_EQ(r.rows[0][2], "<17 bytes>");
  EXPECT_EQ(r.rows[0][3], "<8 bytes>");
  for (const auto& v : r.rows[1]) EXPECT_FALSE(v);
  // Wider than the column says: the column is widened, not the value cut.
  EXPECT_EQ(r.rows[2][0], "一二三四五六七八");
  EXPECT_EQ(r.rows[2][1], "-7");
  EXPECT_EQ(r.done_rows, std::vector<std::uint64_t>{3});
}

TEST(TdsTokens, MessagesKeepTheirNumberAndGoAsErrorOrInfoByClass) {
  TokenWriter w;
  w.Message({208, 1, 16, "Invalid object name 't_sys_system'.", "", 1});
  w.Message({5701, 2, 10, "Changed database context to 'store'.", "", 1});
  w.Message({3621, 0, 0, "The statement has been terminated.", "", 1});
  w.Message({18456, 1, 14, std::string(9000, 'x'), std::string(300, 'p'), 1});  // long texts are cut, not overflowed
  w.Done(kDoneError, 0, 0);
  testing::Reply r = testing::ScanReply(w.bytes());
  ASSERT_TRUE(r.well_formed);
  EXPECT_EQ(r.errors, (std::vector<std::int32_t>{208, 18456}));
  EXPECT_EQ(r.infos, (std::vector<std::int32_t>{5701, 3621}));
  EXPECT_EQ(r.done_status, std::vector<std::uint16_t>{kDoneError});
}

}  // namespace
}  // namespace storesim::tds
