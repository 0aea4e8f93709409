#include "simdriver/process/SimPipeServer.h"

#include <cstring>
#include <new>

#include "driverapi/DravikPipeFrame.h"
#include "simdriver/SimScenario.h"
#include "simdriver/process/SimRemotePeer.h"

SimPipeServer::~SimPipeServer() { stop(); }

uint32_t SimPipeServer::start(const char16_t* pipeName) {
  if (acceptor_.joinable()) return WN_ERROR_ALREADY_INITIALIZED;
  if (uint32_t err = listener_.create(pipeName)) return err;
  stopping_ = false;
  try {
    acceptor_ = std::thread([this] { acceptMain(); });
  } catch (...) {
    listener_.close();
    return WN_ERROR_NOT_ENOUGH_MEMORY;
  }
  return 0;
}

void SimPipeServer::stop() {
  stopping_ = true;
  listener_.abort();
  if (acceptor_.joinable()) acceptor_.join();
  std::list<std::unique_ptr<Session>> sessions;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& s : sessions_)
      if (s->pipe.isOpen()) s->pipe.abort();
    sessions.swap(sessions_);
  }
  for (auto& s : sessions)
    if (s->thread.joinable()) s->thread.join();
  sessions.clear();  // closes the pipes
  listener_.close();
}

std::vector<SimPipeConnectionInfo> SimPipeServer::connections() {
  std::vector<SimPipeConnectionInfo> out;
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& s : sessions_)
    if (s->handle != SIM_NO_HANDLE) out.push_back({s->handle, s->processId});
  return out;
}

void SimPipeServer::reap() {
  std::list<std::unique_ptr<Session>> ended;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = sessions_.begin(); it != sessions_.end();) {
      if ((*it)->done.load()) {
        ended.push_back(std::move(*it));
        it = sessions_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& s : ended)
    if (s->thread.joinable()) s->thread.join();
}

void SimPipeServer::acceptMain() {
  while (!stopping_) {
    std::unique_ptr<Session> session(new (std::nothrow) Session);
    if (!session) return;
    const uint32_t err = listener_.accept(session->pipe);
    reap();
    if (err == WN_ERROR_OPERATION_ABORTED || stopping_) return;
    if (err) continue;  // a client that came and went; wait for the next
    Session* s = session.get();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return;
      try {
        sessions_.push_back(std::move(session));
        s->thread = std::thread([this, s] { serve(*s); });
      } catch (...) {
        if (!sessions_.empty() && sessions_.back().get() == s) sessions_.pop_back();
      }
    }
  }
}

void SimPipeServer::setHandle(Session& session, SimHandleId handle, uint32_t processId) {
  std::lock_guard<std::mutex> lock(mutex_);
  session.handle = handle;
  session.processId = processId;
}

void SimPipeServer::serve(Session& session) {
  // The end closes the connection at once (the client learns that it is
  // over); the lock keeps stop() from aborting a pipe being closed.
  struct Done {
    SimPipeServer& server;
    Session& s;
    ~Done() {
      std::lock_guard<std::mutex> lock(server.mutex_);
      s.pipe.close();
      s.done.store(true);
    }
  } done{*this, session};
  WnPipe& pipe = session.pipe;

  DravikPipeHello hello{};
  if (pipe.read(&hello, sizeof hello) != 0) return;
  if (dravikPipeCheckHello(hello) != 0) {
    ++badFrames_;
    return;
  }
  // The client names its own process; where the system can say who is at
  // the other end, a different claim is refused, so no client can make the
  // driver act on another process's handles or memory.
  uint32_t actual = 0;
  DravikStatus status = 0;
  if (pipe.peerProcessId(actual) == 0 && actual != 0 && actual != hello.processId) status = WN_ERROR_ACCESS_DENIED;
  std::unique_ptr<SimRemotePeer> peer;
  if (status == 0) {
    peer.reset(new (std::nothrow) SimRemotePeer);
    status = peer ? peer->open(hello.processId) : uint32_t{WN_ERROR_NOT_ENOUGH_MEMORY};
  }
  SimHandleId handle = SIM_NO_HANDLE;
  if (status == 0) {
    handle = driver_.openHandle(std::move(peer));
    if (handle == SIM_NO_HANDLE) status = WN_ERROR_NOT_ENOUGH_MEMORY;
    if (status == 0 && holdNewReplies_.load()) driver_.scenario().holdReplies(handle);
  }
  const DravikPipeHelloReply reply = dravikPipeHelloReply(status);
  if (pipe.write(&reply, sizeof reply) != 0 || status != 0) {
    if (handle != SIM_NO_HANDLE) driver_.closeHandle(handle);
    return;
  }
  setHandle(session, handle, hello.processId);

  std::vector<uint8_t> input;
  std::vector<uint8_t> output;
  for (;;) {
    DravikPipeRequestHeader request{};
    if (pipe.read(&request, sizeof request) != 0) break;
    if (dravikPipeCheckRequest(request) != 0) {
      ++badFrames_;
      break;
    }
    try {
      input.resize(request.inSize);
      output.assign(request.outCapacity, 0);
    } catch (...) {
      break;
    }
    if (request.inSize && pipe.read(input.data(), request.inSize) != 0) break;
    uint32_t bytes = 0;
    const DravikStatus result = driver_.ioControl(handle, request.code, request.inSize ? input.data() : nullptr,
                                                  request.inSize, request.outCapacity ? output.data() : nullptr,
                                                  request.outCapacity, &bytes);
    if (bytes > request.outCapacity) bytes = request.outCapacity;
    const DravikPipeReplyHeader answer = dravikPipeReply(result, bytes);
    if (pipe.write(&answer, sizeof answer) != 0) break;
    if (bytes && pipe.write(output.data(), bytes) != 0) break;
  }
  setHandle(session, SIM_NO_HANDLE, 0);
  driver_.closeHandle(handle);
}
