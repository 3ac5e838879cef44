// A bare TDS client for tests of the server's wire handling: it sends
// whatever bytes a test makes, well-formed or not, and reads the replies.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "storesim/tds.h"

namespace storesim::testing {

using tds::Bytes;

// Client-side messages.
Bytes Login7Payload(const std::string& user, const std::string& password, const std::string& database,
                    std::uint32_t tds_version = 0x730B0003, std::uint32_t packet_size = 4096);
Bytes PreloginPayload();
Bytes BatchPayload(const std::string& utf8, std::uint64_t descriptor = 0);
// A transaction request body after ALL_HEADERS (e.g. {5, 0, 1, 0} for BEGIN).
Bytes TransactionPayload(const Bytes& body, std::uint64_t descriptor = 0);

// What a reply held, as far as the tests look.
struct Reply {
  std::vector<std::int32_t> errors;  // ERROR numbers in order
  std::vector<std::int32_t> infos;   // INFO numbers in order
  std::vector<std::uint16_t> done_status;
  std::vector<std::uint64_t> done_rows;
  std::vector<std::uint8_t> env_types;  // ENVCHANGE types in order
  std::optional<std::uint32_t> loginack_version;
  std::vector<std::vector<std::optional<std::string>>> rows;  // varchar/int values as text
  bool well_formed = true;  // every token understood, nothing left over
};
Reply ScanReply(const Bytes& payload);

class RawClient {
 public:
  RawClient() = default;
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool Connect(std::uint16_t port);
  bool SendRaw(const Bytes& bytes);
  bool Send(std::uint8_t type, const Bytes& payload, std::uint32_t packet_size = 4096);
  // One whole reply message; nullopt when the server closed the connection
  // or nothing came within the timeout. Packet sizes go to `packet_sizes`.
  std::optional<Bytes> Read(std::chrono::milliseconds timeout = std::chrono::seconds(5),
                            std::vector<std::size_t>* packet_sizes = nullptr);
  // True when the server closes the connection within the timeout.
  bool ClosedByServer(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // PRELOGIN and LOGIN7; the login reply.
  std::optional<Reply> Login(const std::string& user, const std::string& password, const std::string& database,
                             std::uint32_t tds_version = 0x730B0003, std::uint32_t packet_size = 4096);
  // A request message and its reply.
  std::optional<Reply> Request(std::uint8_t type, const Bytes& payload);
  // A batch and its reply.
  std::optional<Reply> Batch(const std::string& sql);

 private:
  bool ReadFull(std::uint8_t* buf, std::size_t n, std::chrono::steady_clock::time_point deadline);
  int fd_ = -1;
};

// A client connected to `port` and logged in to the sample store as its
// user; a failure of either step fails the test.
std::unique_ptr<RawClient> LoggedInClient(std::uint16_t port);

}  // namespace storesim::testing
