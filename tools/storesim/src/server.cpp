#include "storesim/server.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <map>
#include <condition_variable>
#include <cstdio>
#include <list>
#include <thread>

#include "net.h"
#include "storesim/tds.h"
#include "thread.h"

namespace storesim {

namespace {

// The stack of a connection's thread: the engine runs on it, and the
// deepest statement it accepts (kMaxNestingLevel) needs a few megabytes
// under the sanitizers, a tenth of that without; 8 MiB (the usual default)
// would leave too little to spare.
constexpr std::size_t kConnectionStack = 16u << 20;
constexpr std::uint32_t kTds72 = 0x72090002;
constexpr std::uint32_t kTds73A = 0x730A0003;
constexpr std::uint32_t kTds73B = 0x730B0003;
constexpr std::uint32_t kTds74 = 0x74000004;
constexpr std::uint32_t kProgVersion = 0x0B000834;  // 11.0.2100

struct Connection {
  std::uint64_t id = 0;
  std::shared_ptr<net::Stream> stream;
  sys::Thread thread;
  std::atomic<bool> finished{false};
};

}  // namespace

struct Server::Impl {
  Server* owner;
  ServerOptions options;
  std::unique_ptr<net::Listener> listener;
  std::thread accept_thread;
  bool started = false;
  bool stopped = false;

  mutable std::mutex mu;  // guards everything below
  std::condition_variable idle_cv;
  std::list<std::unique_ptr<Connection>> connections;
  std::size_t active = 0;
  std::uint64_t next_connection = 1;
  std::vector<LoggedRequest> log;
  int close_countdown = 0;  // 0: no fault armed
  bool close_answer_first = true;
  std::function<void()> on_closed;
  bool at_limit = false;  // the connection limit was reached and told

  void Notice(const std::string& line) const {
    if (options.notice) {
      options.notice(line);
    } else {
      std::fprintf(stderr, "storesim: %s\n", line.c_str());
    }
  }

  void AcceptLoop();
  void Serve(Connection* c);

  // Whether the armed fault falls on a request: its connection ends, with
  // answer_first after the request is carried out and answered.
  struct Fault {
    bool hit = false;
    bool answer_first = true;
  };

  // Logs a request; a counted one may be where the armed fault falls.
  Fault Record(LoggedRequest r, bool counted) {
    std::lock_guard<std::mutex> lock(mu);
    log.push_back(std::move(r));
    if (!counted || close_countdown <= 0 || --close_countdown > 0) return {};
    return {true, close_answer_first};
  }
};

namespace {

// One client's conversation: PRELOGIN, LOGIN7, then requests.
class ConnectionHandler {
 public:
  ConnectionHandler(Server::Impl& impl, std::mutex& engine_mu, Engine& engine, Connection& c)
      : impl_(impl), engine_mu_(engine_mu), engine_(engine), c_(c),
        spid_(static_cast<std::uint16_t>(50 + c.id % 30000)) {}

  // Whether a login succeeded on the connection.
  bool logged_in() const { return logged_in_; }

  void Run() {
    const auto login_deadline = std::chrono::steady_clock::now() + impl_.options.login_timeout;
    c_.stream->SetReadDeadline(login_deadline);
    for (;;) {
      std::uint8_t type = 0;
      tds::Bytes msg;
      if (!ReadMessage(&type, &msg)) {
        if (!session_ && std::chrono::steady_clock::now() >= login_deadline) {
          impl_.Notice("connection " + std::to_string(c_.id) + " closed: no login within " +
                       std::to_string(impl_.options.login_timeout.count()) + " ms");
        }
        break;
      }
      if (!Handle(type, msg)) break;
      if (session_) c_.stream->SetReadDeadline(std::nullopt);
    }
    c_.stream->Close();
    EndSession();
  }

 private:
  bool ReadMessage(std::uint8_t* type, tds::Bytes* msg) {
    for (bool first = true;; first = false) {
      std::uint8_t head[tds::kHeaderSize];
      if (!c_.stream->ReadFull(head, sizeof head)) return false;
      std::optional<tds::PacketHeader> h = tds::ParseHeader(head);
      if (!h) return false;
      if (first) {
        *type = h->type;
      } else if (h->type != *type) {
        return false;
      }
      // Too long a packet or message ends the connection before its bytes
      // are read: nothing a client announces is buffered past the limits.
      const std::size_t max_packet = session_ ? packet_size_ : tds::kMaxPacketSize;
      const std::size_t max_message = session_ ? impl_.options.max_request : impl_.options.max_login_message;
      std::size_t body = h->length - tds::kHeaderSize;
      if (h->length > max_packet || msg->size() + body > max_message) return false;
      std::size_t at = msg->size();
      if (at + body > msg->capacity()) msg->reserve(std::min(max_message, std::max(at + body, 2 * at)));
      msg->resize(at + body);
      if (body > 0 && !c_.stream->ReadFull(msg->data() + at, body)) return false;
      if (h->status & tds::kStatusEndOfMessage) return true;
    }
  }

  bool Send(const tds::Bytes& payload) {
    std::vector<tds::Bytes> packets = tds::SplitMessage(tds::kReply, payload, packet_size_, spid_);
    tds::Bytes all;
    for (const tds::Bytes& p : packets) all.insert(all.end(), p.begin(), p.end());
    return c_.stream->WriteAll(all.data(), all.size());
  }

  bool Handle(std::uint8_t type, const tds::Bytes& msg) {
    if (!session_) {
      if (type == tds::kPrelogin && !prelogin_seen_) {
        prelogin_seen_ = true;
        if (!tds::ParsePrelogin(msg)) return false;
        return Send(tds::BuildPreloginReply());
      }
      if (type == tds::kLogin7) return Login(msg);
      return false;
    }
    switch (type) {
      case tds::kSqlBatch:
        return Batch(msg);
      case tds::kTransactionManager:
        return Transaction(msg);
      case tds::kAttention: {
        impl_.Record({c_.id, RequestKind::Attention, {}, {}, false}, false);
        tds::TokenWriter w(impl_.options.server_name);
        w.Done(tds::kDoneAttention, 0, 0);
        return Send(w.bytes());
      }
      case tds::kRpc:
        return Rpc(msg);
      default:
        return false;
    }
  }

  bool Login(const tds::Bytes& msg) {
    std::optional<tds::Login7> login = tds::ParseLogin7(msg);
    if (!login) return false;
    impl_.Record({c_.id, RequestKind::Login, login->user, login->database, false}, false);
    // Token formats before 7.2 differ; such a client is not served.
    if (login->tds_version < kTds72) return false;
    std::uint32_t version = kTds72;
    if (login->tds_version >= kTds74) {
      version = kTds74;
    } else if (login->tds_version >= kTds73B) {
      version = kTds73B;
    } else if (login->tds_version >= kTds73A) {
      version = kTds73A;
    }

    LoginRequest req{login->user, login->password, login->database, login->app_name};
    std::vector<Message> refusal;
    std::unique_ptr<Session> session;
    std::string database;
    {
      std::lock_guard<std::mutex> lock(engine_mu_);
      session = engine_.Login(req, &refusal);
      if (session) database = session->CurrentDatabase();
    }
    tds::TokenWriter w(impl_.options.server_name);
    if (!session) {
      for (const Message& m : refusal) w.Message(m);
      w.Done(tds::kDoneError, 0, 0);
      Send(w.bytes());
      return false;  // SQL Server closes a refused login's connection
    }
    session_ = std::move(session);
    logged_in_ = true;
    database_ = database;

    std::uint32_t wanted = login->packet_size == 0 ? tds::kDefaultPacketSize : login->packet_size;
    std::uint32_t size = std::clamp(wanted, tds::kMinPacketSize, tds::kMaxPacketSize);
    w.EnvDatabase(database, "master");
    w.Message({5701, 2, 0, "Changed database context to '" + database + "'.", "", 1});
    w.EnvCollation(tds::kChinesePrcCiAs);
    w.EnvLanguage("us_english", "");
    w.Message({5703, 1, 0, "Changed language setting to us_english.", "", 1});
    w.LoginAck(version, "Microsoft SQL Server", kProgVersion);
    w.EnvPacketSize(size, tds::kDefaultPacketSize);
    w.Done(tds::kDoneFinal, 0, 0);
    bool ok = Send(w.bytes());
    packet_size_ = size;
    return ok;
  }

  bool Batch(const tds::Bytes& msg) {
    std::optional<tds::SqlBatch> batch = tds::ParseSqlBatch(msg);
    if (!batch) return false;
    const auto f = impl_.Record({c_.id, RequestKind::Batch, batch->text, {}, false}, true);
    if (f.hit && !f.answer_first) return false;

    tds::TokenWriter w(impl_.options.server_name);
    Execute(w, batch->text, false);
    return Send(w.bytes()) && !f.hit;
  }

  // Runs a statement text and writes what each statement gives. In a batch
  // the last DONE ends the reply; in a procedure call every statement ends
  // with DONEINPROC and the caller ends the call. True when a statement failed.
  bool Execute(tds::TokenWriter& w, const std::string& sql, bool in_proc) {
    std::lock_guard<std::mutex> lock(engine_mu_);
    bool was_in_tx = session_->InTransaction();
    BatchResult result = session_->ExecuteBatch(sql);
    bool in_tx = session_->InTransaction();
    bool failed = false;
    bool reported = false;  // a statement told of its transaction change
    const std::size_t n = result.statements.size();
    for (std::size_t i = 0; i < n; ++i) {
      const StatementResult& st = result.statements[i];
      const bool last = i + 1 == n;
      if (st.database_change) {
        w.EnvDatabase(*st.database_change, database_);
        database_ = *st.database_change;
      }
      for (const Message& m : st.messages) w.Message(m);
      std::uint16_t status = last && !in_proc ? tds::kDoneFinal : tds::kDoneMore;
      std::uint64_t rows = 0;
      if (st.result) {
        w.Result(*st.result);
        status |= tds::kDoneCount;
        rows = st.row_count ? static_cast<std::uint64_t>(*st.row_count) : st.result->rows.size();
      } else if (st.row_count) {
        status |= tds::kDoneCount;
        rows = static_cast<std::uint64_t>(*st.row_count);
      }
      if (st.error) status |= tds::kDoneError;
      failed = failed || st.error;
      if (st.transaction != storesim::TransactionChange::None) {
        reported = true;
        ReportTransaction(w, st.transaction);
      }
      if (last && !reported) ReportUnexplained(w, was_in_tx, in_tx);
      std::uint16_t cmd = st.result ? tds::kCmdSelect : tds::kCmdNone;
      if (in_proc) {
        w.DoneInProc(status, cmd, rows);
      } else {
        w.Done(status, cmd, rows);
      }
    }
    if (n == 0) {
      ReportUnexplained(w, was_in_tx, in_tx);
      if (!in_proc) w.Done(tds::kDoneFinal, 0, 0);
    }
    return failed;
  }

  // A statement that began, committed or rolled back a transaction tells
  // the client, as the transaction requests do: ENVCHANGE 8, 9 or 10.
  void ReportTransaction(tds::TokenWriter& w, storesim::TransactionChange change) {
    switch (change) {
      case storesim::TransactionChange::None: break;
      case storesim::TransactionChange::Began:
        descriptor_ = NewDescriptor();
        w.EnvBeginTransaction(descriptor_);
        break;
      case storesim::TransactionChange::Committed:
        w.EnvCommitTransaction(descriptor_);
        descriptor_ = 0;
        break;
      case storesim::TransactionChange::RolledBack:
        w.EnvRollbackTransaction(descriptor_);
        descriptor_ = 0;
        break;
    }
  }

  // An engine that does not say what its statements did to the
  // transaction: the change is read from before and after the batch, and
  // an end that is not explained is taken for a rollback.
  void ReportUnexplained(tds::TokenWriter& w, bool before, bool after) {
    if (before == after) return;
    ReportTransaction(w, after ? storesim::TransactionChange::Began : storesim::TransactionChange::RolledBack);
  }

  std::uint64_t NewDescriptor() { return (c_.id << 32) | ++descriptor_serial_; }

  bool Transaction(const tds::Bytes& msg) {
    std::optional<tds::TransactionRequest> req = tds::ParseTransactionRequest(msg);
    if (!req) return false;
    RequestKind kind = RequestKind::TransactionOther;
    switch (req->kind) {
      case tds::TransactionRequestKind::Begin: kind = RequestKind::Begin; break;
      case tds::TransactionRequestKind::Commit: kind = RequestKind::Commit; break;
      case tds::TransactionRequestKind::Rollback: kind = RequestKind::Rollback; break;
      case tds::TransactionRequestKind::Other: break;
    }
    const auto f = impl_.Record({c_.id, kind, {}, {}, req->begin_new}, true);
    if (f.hit && !f.answer_first) return false;

    tds::TokenWriter w(impl_.options.server_name);
    std::optional<Message> m;
    bool in_tx = false;
    {
      std::lock_guard<std::mutex> lock(engine_mu_);
      switch (req->kind) {
        case tds::TransactionRequestKind::Begin: m = session_->Begin(); break;
        case tds::TransactionRequestKind::Commit: m = session_->Commit(req->begin_new); break;
        case tds::TransactionRequestKind::Rollback: m = session_->Rollback(req->begin_new); break;
        case tds::TransactionRequestKind::Other:
          m = Message{8522, 1, 16, "The transaction request is not supported by this server.", "", 1};
          break;
      }
      in_tx = session_->InTransaction();
    }
    const bool failed = m && m->cls > 10;
    if (m) w.Message(*m);
    if (!failed) {
      if (req->kind == tds::TransactionRequestKind::Commit && descriptor_ != 0) w.EnvCommitTransaction(descriptor_);
      if (req->kind == tds::TransactionRequestKind::Rollback && descriptor_ != 0) {
        w.EnvRollbackTransaction(descriptor_);
      }
      if (req->kind != tds::TransactionRequestKind::Other) descriptor_ = 0;
      if (in_tx) {
        descriptor_ = NewDescriptor();
        w.EnvBeginTransaction(descriptor_);
      }
    }
    w.Done(failed ? tds::kDoneError : tds::kDoneFinal, 0, 0);
    return Send(w.bytes()) && !f.hit;
  }

  // Remote procedure calls: the statement-preparing procedures that ODBC
  // clients use, for statements without parameters.
  bool Rpc(const tds::Bytes& msg) {
    std::optional<tds::RpcRequest> req = tds::ParseRpc(msg);
    if (!req) return false;
    std::uint16_t proc = req->proc_id;
    if (proc == 0) {
      std::string name = req->proc_name;
      for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      if (name == "sp_executesql") proc = tds::kSpExecuteSql;
      if (name == "sp_prepare") proc = tds::kSpPrepare;
      if (name == "sp_execute") proc = tds::kSpExecute;
      if (name == "sp_prepexec") proc = tds::kSpPrepExec;
      if (name == "sp_unprepare") proc = tds::kSpUnprepare;
    }
    auto text_at = [&](std::size_t i) -> std::optional<std::string> {
      return i < req->params.size() ? req->params[i].text : std::nullopt;
    };
    auto int_at = [&](std::size_t i) -> std::optional<std::int64_t> {
      return i < req->params.size() ? req->params[i].integer : std::nullopt;
    };
    // What the call runs, and where its parameter definitions are.
    std::optional<std::string> sql;
    std::size_t fixed = 0;  // parameters before the statement's own values
    std::optional<std::string> definitions;
    std::optional<std::int32_t> handle;  // the prepared statement's handle
    bool served = true;
    switch (proc) {
      case tds::kSpExecuteSql:
        sql = text_at(0);
        definitions = text_at(1);
        fixed = 2;
        break;
      case tds::kSpPrepare:
      case tds::kSpPrepExec:
        definitions = text_at(1);
        sql = text_at(2);
        fixed = proc == tds::kSpPrepare ? 4 : 3;
        break;
      case tds::kSpExecute:
      case tds::kSpUnprepare:
        fixed = 1;
        if (std::optional<std::int64_t> h = int_at(0); h && prepared_.count(static_cast<std::int32_t>(*h))) {
          handle = static_cast<std::int32_t>(*h);
          sql = prepared_[*handle];
        }
        break;
      default:
        served = false;
        break;
    }

    const auto f = impl_.Record({c_.id, RequestKind::Rpc, sql.value_or(req->proc_name), {}, false}, true);
    if (f.hit && !f.answer_first) return false;

    tds::TokenWriter w(impl_.options.server_name);
    auto refuse = [&](std::int32_t number, const std::string& text) {
      w.Message({number, 1, 16, text, "", 1});
      w.DoneProc(tds::kDoneError, 0, 0);
      return Send(w.bytes()) && !f.hit;
    };
    if (!served) {
      std::string name = req->proc_name.empty() ? "#" + std::to_string(req->proc_id) : req->proc_name;
      return refuse(2812, "Could not find stored procedure '" + name + "'.");
    }
    if (req->unsupported_type || req->params.size() > fixed || (definitions && !definitions->empty())) {
      return refuse(8180, "Statements with parameters are not supported by this server.");
    }
    if ((proc == tds::kSpExecute || proc == tds::kSpUnprepare) && !handle) {
      return refuse(8179, "Could not find prepared statement with handle " +
                              std::to_string(int_at(0).value_or(0)) + ".");
    }
    if (!sql) return refuse(214, "Procedure expects parameter '@statement' of type 'ntext/nchar/nvarchar'.");

    bool failed = false;
    if (proc == tds::kSpPrepare || proc == tds::kSpPrepExec) {
      handle = ++last_handle_;
      prepared_[*handle] = *sql;
    }
    if (proc != tds::kSpPrepare && proc != tds::kSpUnprepare) failed = Execute(w, *sql, true);
    if (proc == tds::kSpUnprepare) prepared_.erase(*handle);
    w.ReturnStatus(failed ? 1 : 0);
    if (proc == tds::kSpPrepare || proc == tds::kSpPrepExec) w.ReturnValueInt(0, "", *handle);
    w.DoneProc(failed ? tds::kDoneError : tds::kDoneFinal, 0, 0);
    return Send(w.bytes()) && !f.hit;
  }

  void EndSession() {
    if (!session_) return;
    std::lock_guard<std::mutex> lock(engine_mu_);
    session_->Close();
    session_.reset();
  }

  Server::Impl& impl_;
  std::mutex& engine_mu_;
  Engine& engine_;
  Connection& c_;
  std::uint16_t spid_;
  std::uint32_t packet_size_ = tds::kDefaultPacketSize;
  bool prelogin_seen_ = false;
  bool logged_in_ = false;
  std::unique_ptr<Session> session_;
  std::string database_;
  std::uint64_t descriptor_ = 0;
  std::uint64_t descriptor_serial_ = 0;
  std::map<std::int32_t, std::string> prepared_;  // handle -> statement text
  std::int32_t last_handle_ = 0;
};

}  // namespace

void Server::Impl::Serve(Connection* c) {
  bool logged_in = false;
  {
    ConnectionHandler handler(*this, owner->engine_mu_, *owner->engine_, *c);
    handler.Run();
    logged_in = handler.logged_in();
  }
  std::function<void()> callback;
  {
    std::lock_guard<std::mutex> lock(mu);
    --active;
    c->finished = true;
    if (logged_in) callback = on_closed;
  }
  idle_cv.notify_all();
  if (callback) callback();
}

void Server::Impl::AcceptLoop() {
  for (;;) {
    std::unique_ptr<net::Stream> s = listener->Accept();
    if (!s) return;
    // The threads of connections that have ended are reaped, and joined
    // without the lock: a thread marked finished may still be running the
    // close callback, and every other connection needs the lock meanwhile.
    std::list<std::unique_ptr<Connection>> done;
    bool stopping = false;
    std::string notice;  // told after the lock is released
    {
      std::lock_guard<std::mutex> lock(mu);
      for (auto it = connections.begin(); it != connections.end();) {
        if ((*it)->finished) {
          done.push_back(std::move(*it));
          it = connections.erase(it);
        } else {
          ++it;
        }
      }
      stopping = stopped;
      // Past the limit the stream closes as it goes out of scope.
      if (!stopping && active >= options.max_connections) {
        if (!at_limit) {
          notice = "connection limit of " + std::to_string(options.max_connections) +
                   " reached: new connections are closed until one ends";
        }
        at_limit = true;
      } else if (!stopping) {
        at_limit = false;
        auto c = std::make_unique<Connection>();
        c->id = next_connection++;
        c->stream = std::move(s);
        Connection* raw = c.get();
        std::string why;
        if (raw->thread.Start(kConnectionStack, [this, raw] { Serve(raw); }, &why)) {
          ++active;
          connections.push_back(std::move(c));
        } else {
          notice = "connection " + std::to_string(raw->id) + " closed: no thread for it: " + why;
        }
      }
    }
    if (!notice.empty()) Notice(notice);
    for (auto& d : done) d->thread.Join();
    if (stopping) return;
  }
}

Server::Server(std::shared_ptr<Engine> engine, ServerOptions options)
    : engine_(std::move(engine)), impl_(std::make_unique<Impl>()) {
  impl_->owner = this;
  impl_->options = std::move(options);
}

Server::~Server() { Stop(); }

bool Server::Start(std::string* error) {
  if (impl_->started) {
    if (error) *error = "already started";
    return false;
  }
  impl_->listener = net::Listener::Open(impl_->options.port, error);
  if (!impl_->listener) return false;
  impl_->started = true;
  impl_->accept_thread = std::thread([this] { impl_->AcceptLoop(); });
  return true;
}

void Server::Stop() {
  if (!impl_->started) return;
  {
    std::lock_guard<std::mutex> lock(impl_->mu);
    if (impl_->stopped) return;
    impl_->stopped = true;
  }
  impl_->listener->Close();
  impl_->accept_thread.join();
  std::list<std::unique_ptr<Connection>> all;
  {
    std::lock_guard<std::mutex> lock(impl_->mu);
    all.swap(impl_->connections);
  }
  for (auto& c : all) c->stream->Shutdown();
  for (auto& c : all) c->thread.Join();
}

std::uint16_t Server::port() const { return impl_->listener ? impl_->listener->port() : 0; }

std::vector<LoggedRequest> Server::Log() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->log;
}

std::vector<std::string> Server::Batches() const {
  std::vector<std::string> out;
  std::lock_guard<std::mutex> lock(impl_->mu);
  for (const LoggedRequest& r : impl_->log) {
    if (r.kind == RequestKind::Batch) out.push_back(r.text);
  }
  return out;
}

void Server::ClearLog() {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->log.clear();
}

void Server::CloseConnectionAfter(int k, bool answer_first) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->close_countdown = std::max(k, 0);
  impl_->close_answer_first = answer_first;
}

std::size_t Server::active_connections() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->active;
}

bool Server::WaitForIdle(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(impl_->mu);
  return impl_->idle_cv.wait_for(lock, timeout, [&] { return impl_->active == 0; });
}

void Server::Serve(std::shared_ptr<net::Stream> stream) {
  Connection c;
  c.stream = std::move(stream);
  {
    std::lock_guard<std::mutex> lock(impl_->mu);
    c.id = impl_->next_connection++;
    ++impl_->active;
  }
  impl_->Serve(&c);
}

void Server::OnConnectionClosed(std::function<void()> callback) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->on_closed = std::move(callback);
}

}  // namespace storesim
