// The store-database simulator's server: SQL Server's wire protocol (TDS
// 7.2 to 7.4, no encryption) on 127.0.0.1, answering from an Engine.
//
//   auto engine = ...;                       // any storesim::Engine
//   storesim::Server server(engine);
//   if (!server.Start()) ...;                // port 0: a free port
//   connect to "127.0.0.1," + std::to_string(server.port())
//   server.Log();                            // what the clients sent
//
// SQL batches, transaction requests and the statement-preparing procedure
// calls of ODBC clients (sp_executesql, sp_prepare, sp_execute,
// sp_prepexec, sp_unprepare; without parameters) are served.
//
// One thread per connection. Engine calls of all connections (and
// WithEngine) are serialised by one lock, so an engine needs no locking of
// its own. A malformed packet ends its connection, never the server.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "storesim/engine.h"

namespace storesim {

namespace net {
class Stream;
}

enum class RequestKind {
  Login,             // user and database of a LOGIN7 (refused ones too)
  Batch,             // a SQL batch
  Begin,             // transaction requests
  Commit,
  Rollback,
  TransactionOther,  // a transaction request the simulator does not handle
  Rpc,               // a remote procedure call; text: the statement it runs
  Attention,         // the client cancelled its request
};

struct LoggedRequest {
  std::uint64_t connection = 0;  // 1, 2, ... in the order of accepting
  RequestKind kind = RequestKind::Batch;
  std::string text;      // Batch: the statement text (UTF-8); Login: the user
  std::string database;  // Login: the database asked for (may be empty)
  bool begin_new = false;  // Commit/Rollback: the next transaction was asked for

  bool operator==(const LoggedRequest&) const = default;
};

// What one client may take of the server. A connection that has not
// finished its login within `login_timeout` is closed. A packet longer
// than the packet size of its connection (after the login: the size the
// login settled; before it: the largest TDS allows), or a message that grows past `max_login_message` before the login
// or `max_request` after it, ends the connection before its bytes are
// read. Past `max_connections` open connections, new ones are closed on
// arrival, and a notice says so once each time the limit is reached.
struct ServerOptions {
  std::uint16_t port = 0;  // 0: a free port chosen by the system
  std::string server_name = "STORESIM";  // as it appears in messages
  std::chrono::milliseconds login_timeout = std::chrono::seconds(30);
  std::size_t max_connections = 256;
  std::size_t max_login_message = 128 * 1024;
  std::size_t max_request = 4u << 20;
  // Where notices go (the limit reached, a login timed out), one line
  // each without the line end; unset: standard error.
  std::function<void(const std::string&)> notice;
};

class Server {
 public:
  explicit Server(std::shared_ptr<Engine> engine, ServerOptions options = {});
  ~Server();  // stops
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Starts listening; false (with the reason) when the port cannot be had.
  bool Start(std::string* error = nullptr);
  // Closes the listener and every connection (open transactions are rolled
  // back) and waits for their threads. Start again is not supported.
  void Stop();
  std::uint16_t port() const;

  // The engine the server was built with. Touch it directly only while no
  // client works; WithEngine holds the lock that request handling takes.
  Engine& engine() { return *engine_; }
  template <class F>
  decltype(auto) WithEngine(F&& f) {
    std::lock_guard<std::mutex> lock(engine_mu_);
    return std::forward<F>(f)(*engine_);
  }

  // Every request received since the start (or the last ClearLog), in order.
  std::vector<LoggedRequest> Log() const;
  // The texts of the SQL batches of the log.
  std::vector<std::string> Batches() const;
  void ClearLog();

  // Fault injection: the k-th request from now (SQL batch, transaction or
  // RPC request, on any connection; k >= 1) ends its connection. With
  // `answer_first` the request is carried out and answered before the
  // close; otherwise the connection is closed without carrying it out.
  // Either way the session is closed, which rolls back what is open.
  void CloseConnectionAfter(int k, bool answer_first = true);

  // Connections open now; and a wait until none is (a client's close is
  // seen by the server a little later than the client returns).
  std::size_t active_connections() const;
  bool WaitForIdle(std::chrono::milliseconds timeout = std::chrono::seconds(5));

  // Called (without the engine lock) each time a connection ends on which
  // a login succeeded; a connection that never logged in changed nothing.
  void OnConnectionClosed(std::function<void()> callback);

  // Serves one conversation over `stream` on the calling thread, as if it
  // had been accepted (without Start; the fuzz target drives the protocol
  // this way, without sockets).
  void Serve(std::shared_ptr<net::Stream> stream);

  struct Impl;

 private:
  std::shared_ptr<Engine> engine_;
  std::mutex engine_mu_;
  std::unique_ptr<Impl> impl_;
  friend struct Impl;
};

}  // namespace storesim
