#pragma once
// Registers a signature and receives other programs' messages on a thread of its own.
//
// The signature's socket (MessageFolder.h) accepts any number of senders; every packet is one
// flattened message. Messages reach the handler one at a time, in the order they arrive, on
// the receiver's thread. Malformed packets are refused with a line on standard error and
// counted; the sender stays connected. Each message carries its sender's connection as its
// return address (BMessage::SendReply answers on it).

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "platform/app/BMessage.h"

class MessageReceiver {
 public:
  // Largest packet a sender may send (and the receiver reads) in one message.
  static constexpr size_t kMaxPacket = 65536;
  // Senders connected at once; more are turned away.
  static constexpr int kMaxSenders = 64;

  using Handler = std::function<void(BMessage&&)>;

  // Registers and starts receiving. A socket left behind by a program that died is replaced;
  // one that still answers makes InitCheck B_NAME_IN_USE.
  MessageReceiver(const char* signature, Handler handler);
  // Stops the thread (the handler is not called again) and removes the socket.
  ~MessageReceiver();
  MessageReceiver(const MessageReceiver&) = delete;
  MessageReceiver& operator=(const MessageReceiver&) = delete;

  status_t InitCheck() const { return fStatus; }
  // Why registering failed, as a sentence.
  const std::string& Error() const { return fError; }
  const std::string& SocketPath() const { return fPath; }
  // Turns true when the receiver is being destroyed; a handler that waits watches it.
  const std::atomic<bool>& Stopping() const { return fStopping; }
  // Malformed packets refused so far.
  uint64_t RefusedMessages() const { return fRefused.load(std::memory_order_relaxed); }

 private:
  void ThreadMain();

  std::string fSignature;
  Handler fHandler;
  status_t fStatus = B_NO_INIT;
  std::string fError;
  std::string fPath;
  int fListenFd = -1;
  int fWakeFd = -1;
  std::atomic<bool> fStopping{false};
  std::atomic<uint64_t> fRefused{0};
  std::thread fThread;
};
