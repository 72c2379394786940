#pragma once
// A MIDI object: a producer that hands ("sprays") time-stamped messages to the objects
// connected to it, a consumer whose hooks receive them, and a thread of its own for Run.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/support/Status.h"

typedef unsigned char uchar;

// Time stamps are milliseconds of the system clock (system_time() / 1000). A stamp at or
// before the present means "at once"; B_NOW is such a stamp.
constexpr uint32 B_NOW = 0;

// Channels are numbered 1 to 16 in every call; the wire carries channel - 1.
class BMidi {
 public:
  BMidi();
  // Stops the thread and cuts every connection to and from this object. A subclass whose
  // Run uses its own fields must call Stop in its own destructor.
  virtual ~BMidi();
  BMidi(const BMidi&) = delete;
  BMidi& operator=(const BMidi&) = delete;

  // Consumer hooks; the base ignores them. They run on the producer's thread and must not
  // block.
  virtual void NoteOff(uchar channel, uchar note, uchar velocity, uint32 time = B_NOW);
  virtual void NoteOn(uchar channel, uchar note, uchar velocity, uint32 time = B_NOW);
  virtual void KeyPressure(uchar channel, uchar note, uchar pressure, uint32 time = B_NOW);
  virtual void ControlChange(uchar channel, uchar controlNumber, uchar controlValue,
                             uint32 time = B_NOW);
  virtual void ProgramChange(uchar channel, uchar programNumber, uint32 time = B_NOW);
  virtual void ChannelPressure(uchar channel, uchar pressure, uint32 time = B_NOW);
  virtual void PitchBend(uchar channel, uchar lsb, uchar msb, uint32 time = B_NOW);

  // Starts a thread that runs Run, unless one runs already.
  virtual status_t Start();
  // Makes KeepRunning false, wakes SnoozeUntil and waits for the thread to end. Called
  // from Run's own thread it only asks.
  virtual void Stop();
  bool IsRunning() const;

  // Every spray of this object then reaches toObject too; connecting twice is once.
  void Connect(BMidi* toObject);
  void Disconnect(BMidi* toObject);
  bool IsConnected(BMidi* toObject) const;
  std::vector<BMidi*> Connections() const;

 protected:
  // Takes this object out of every connection, both ways; no spray reaches it afterwards.
  // Destructors of consumers that forward what they receive call it first.
  void CutConnections();
  // The thread body; the base waits until Stop.
  virtual void Run();
  // False once Stop was called.
  bool KeepRunning() const;
  // Sleeps until the system clock reaches the given millisecond, or until Stop.
  void SnoozeUntil(uint32 time) const;

  // Hand a message to every connected object, in connection order. A consumer that is
  // disconnected receives nothing once Disconnect has returned.
  void SprayNoteOff(uchar channel, uchar note, uchar velocity, uint32 time) const;
  void SprayNoteOn(uchar channel, uchar note, uchar velocity, uint32 time) const;
  void SprayKeyPressure(uchar channel, uchar note, uchar pressure, uint32 time) const;
  void SprayControlChange(uchar channel, uchar controlNumber, uchar controlValue,
                          uint32 time) const;
  void SprayProgramChange(uchar channel, uchar programNumber, uint32 time) const;
  void SprayChannelPressure(uchar channel, uchar pressure, uint32 time) const;
  void SprayPitchBend(uchar channel, uchar lsb, uchar msb, uint32 time) const;

 private:
  template <typename Call>
  void Spray(Call call) const;

  // Connections of every object, under one process-wide lock (see BMidi.cpp).
  std::vector<BMidi*> fConsumers;
  std::vector<BMidi*> fProducers;

  // The thread: fThreadLock serialises Start and Stop; Run never takes it.
  std::mutex fThreadLock;
  std::thread fThread;
  std::atomic<bool> fKeepRunning{false};
  std::atomic<bool> fRunning{false};
  mutable std::mutex fWakeLock;
  mutable std::condition_variable fWake;
};
