#include "simdriver/process/SimControlServer.h"

#include <new>
#include <vector>

#include "platform/WnSimulatedDriver.h"
#include "simdriver/process/SimControlFrame.h"
#include "simdriver/process/SimText.h"

SimControlServer::~SimControlServer() { stop(); }

uint32_t SimControlServer::start(const char16_t* pipePath) {
  if (acceptor_.joinable()) return WN_ERROR_ALREADY_INITIALIZED;
  char16_t path[WN_PIPE_NAME_CHARS];
  if (!wnDerivedPipePath(pipePath, SIM_CONTROL_PIPE_SUFFIX, path)) return WN_ERROR_BAD_PATHNAME;
  if (uint32_t err = listener_.create(path)) return err;
  stopping_ = false;
  try {
    acceptor_ = std::thread([this] { acceptMain(); });
  } catch (...) {
    listener_.close();
    return WN_ERROR_NOT_ENOUGH_MEMORY;
  }
  return 0;
}

void SimControlServer::stop() {
  stopping_ = true;
  listener_.abort();
  if (acceptor_.joinable()) acceptor_.join();
  std::list<std::unique_ptr<Connection>> all;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& c : connections_)
      if (c->pipe.isOpen()) c->pipe.abort();
    all.swap(connections_);
  }
  for (auto& c : all)
    if (c->thread.joinable()) {
      // The connection that answered "stop" may be the caller's own thread.
      if (c->thread.get_id() == std::this_thread::get_id())
        c->thread.detach();
      else
        c->thread.join();
    }
  listener_.close();
}

void SimControlServer::reap() {
  std::list<std::unique_ptr<Connection>> ended;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      if ((*it)->done.load()) {
        ended.push_back(std::move(*it));
        it = connections_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& c : ended)
    if (c->thread.joinable()) c->thread.join();
}

void SimControlServer::acceptMain() {
  while (!stopping_) {
    std::unique_ptr<Connection> c(new (std::nothrow) Connection);
    if (!c) return;
    const uint32_t err = listener_.accept(c->pipe);
    reap();
    if (err == WN_ERROR_OPERATION_ABORTED || stopping_) return;
    if (err) continue;
    Connection* p = c.get();
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return;
    try {
      connections_.push_back(std::move(c));
      p->thread = std::thread([this, p] { serve(*p); });
    } catch (...) {
      if (!connections_.empty() && connections_.back().get() == p) connections_.pop_back();
    }
  }
}

void SimControlServer::serve(Connection& c) {
  // The connection closes as soon as it is served; the lock keeps stop()
  // from aborting a pipe being closed.
  struct Done {
    SimControlServer& server;
    Connection& c;
    ~Done() {
      std::lock_guard<std::mutex> lock(server.mutex_);
      c.pipe.close();
      c.done.store(true);
    }
  } done{*this, c};
  SimControlRequestHeader h{};
  if (c.pipe.read(&h, sizeof h) != 0 || !simCheckControlRequest(h)) return;
  std::string line(h.length, '\0');
  if (c.pipe.read(line.data(), h.length) != 0) return;
  SimControlAnswer answer;
  try {
    answer = interpreter_.runLine(line);
  } catch (...) {
    answer = {SIM_CONTROL_FAILED, "error: out of memory\n", false};
  }
  if (answer.text.size() > SIM_CONTROL_MAX_ANSWER) answer.text.resize(SIM_CONTROL_MAX_ANSWER);
  const SimControlReplyHeader reply = simControlReply(answer.status, static_cast<uint32_t>(answer.text.size()));
  bool sent = c.pipe.write(&reply, sizeof reply, 10000) == 0;
  if (sent && !answer.text.empty()) sent = c.pipe.write(answer.text.data(), reply.length, 10000) == 0;
  if (answer.stop && onStop_) {
    // Let the client take the answer before the pipes go.
    uint8_t ignored = 0;
    if (sent) c.pipe.read(&ignored, 1);
    onStop_();
  }
}

SimControlAnswer simSendControlCommand(const char16_t* pipePath, const std::string& line, uint32_t timeoutMs,
                                       uint32_t* error) {
  if (error) *error = 0;
  char16_t path[WN_PIPE_NAME_CHARS];
  if (!wnDerivedPipePath(pipePath, SIM_CONTROL_PIPE_SUFFIX, path)) {
    if (error) *error = WN_ERROR_BAD_PATHNAME;
    return {SIM_CONTROL_FAILED, "error: bad pipe name\n", false};
  }
  if (line.empty() || line.size() > SIM_CONTROL_MAX_COMMAND) {
    if (error) *error = WN_ERROR_INVALID_PARAMETER;
    return {SIM_CONTROL_BAD_USAGE, "error: the command is empty or too long\n", false};
  }
  auto broken = [&](const char* what, uint32_t err) {
    if (error) *error = err;
    return SimControlAnswer{SIM_CONTROL_FAILED,
                            simFormat("error: %s %s (system error %u)\n", what, simToUtf8(path, WN_PIPE_NAME_CHARS).c_str(), err),
                            false};
  };
  WnPipe pipe;
  if (uint32_t err = pipe.connect(path, timeoutMs)) return broken("no simulator answers on", err);
  const SimControlRequestHeader h = simControlRequest(static_cast<uint32_t>(line.size()));
  if (uint32_t err = pipe.write(&h, sizeof h)) return broken("lost the connection to", err);
  if (uint32_t err = pipe.write(line.data(), h.length)) return broken("lost the connection to", err);
  SimControlReplyHeader reply{};
  if (uint32_t err = pipe.read(&reply, sizeof reply)) return broken("no answer from", err);
  if (!simCheckControlReply(reply)) return broken("a malformed answer from", WN_ERROR_INVALID_DATA);
  SimControlAnswer answer;
  answer.status = reply.status;
  answer.text.assign(reply.length, '\0');
  if (reply.length)
    if (uint32_t err = pipe.read(answer.text.data(), reply.length)) return broken("a cut answer from", err);
  return answer;
}
