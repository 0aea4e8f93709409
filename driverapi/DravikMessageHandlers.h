// Callback interfaces through which DravikDriver hands the messages it reads
// to their owner: DravikRequestHandlerInterface (requests, answered with a
// reply; used by the device control service) and
// DravikNotificationHandlerInterface (notifications), each with a forwarder
// template that binds a member function.
//
// Lifetime: a forwarder holds a plain pointer to its object; it must not
// outlive it. Threading: the handlers run on the thread that calls
// DravikDriver::processRequests / processNotifications.
//
//   DravikRequestHandlerForwarderT<DravikServer> requests(this, &DravikServer::onRequest);
//   processRequests(requests);
#pragma once

#include "driverapi/DravikMessage.h"

class DravikRequestHandlerInterface {
public:
  virtual ~DravikRequestHandlerInterface() = default;
  // reply arrives built with initReply(request, DRAVIK_STATUS_INVALID_COMMAND);
  // the handler may change its code and payload. The result becomes the
  // reply's status; DRAVIK_STATUS_PENDING posts no reply now.
  virtual DravikStatus onRequest(const DravikMessage& request, DravikMessage& reply) = 0;
};

template <class T>
class DravikRequestHandlerForwarderT : public DravikRequestHandlerInterface {
public:
  using Function = DravikStatus (T::*)(const DravikMessage&, DravikMessage&);
  DravikRequestHandlerForwarderT() = default;
  DravikRequestHandlerForwarderT(T* object, Function function) : object_(object), function_(function) {}
  void bind(T* object, Function function) {
    object_ = object;
    function_ = function;
  }
  DravikStatus onRequest(const DravikMessage& request, DravikMessage& reply) override {
    return (object_->*function_)(request, reply);
  }

private:
  T* object_ = nullptr;
  Function function_ = nullptr;
};

class DravikNotificationHandlerInterface {
public:
  virtual ~DravikNotificationHandlerInterface() = default;
  virtual void onNotification(const DravikMessage& message) = 0;
};

template <class T>
class DravikNotificationHandlerForwarderT : public DravikNotificationHandlerInterface {
public:
  using Function = void (T::*)(const DravikMessage&);
  DravikNotificationHandlerForwarderT() = default;
  DravikNotificationHandlerForwarderT(T* object, Function function) : object_(object), function_(function) {}
  void bind(T* object, Function function) {
    object_ = object;
    function_ = function;
  }
  void onNotification(const DravikMessage& message) override { (object_->*function_)(message); }

private:
  T* object_ = nullptr;
  Function function_ = nullptr;
};
