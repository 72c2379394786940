#pragma once
// The program's view of the media system: it knows every node, makes the system's nodes
// (the system time source and the default video input), connects outputs to inputs and passes
// start, stop and seek requests on to nodes' control threads.

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/media/MediaDefs.h"

class BMediaNode;
class BParameterWeb;
class BTimeSource;

// Receives the roster's notifications (B_MEDIA_WEB_CHANGED, B_MEDIA_NODE_STOPPED, ...) in
// the thread that caused them; it must not block.
using media_watcher = std::function<void(int32 what, const media_node& node)>;

class BMediaRoster {
 public:
  // The program's roster, made on first use.
  static BMediaRoster* Roster(status_t* error = nullptr);
  // The roster if it has been made, else nullptr.
  static BMediaRoster* CurrentRoster();

  // Chooses the default video input: "test" (moving pattern), "test:<pattern>", a file path or
  // URI, "pipeline:<description>", a /dev/video device, or empty for the first camera. Without
  // a choice the ZANVEL_VIDEO environment variable decides.
  void SetVideoInputSetting(const char* setting);
  std::string VideoInputSetting() const;

  // The default video input as the windows show it: where its frames come from, how many it
  // handed on and dropped, and whether it is capturing. False while there is no video input.
  struct VideoInputStatus {
    std::string source;
    int64 sent = 0;
    int64 dropped = 0;
    bool capturing = false;
  };
  bool GetVideoInputStatus(VideoInputStatus* status);

  // The system time source (performance time = system_time()).
  status_t GetTimeSource(media_node* node);
  // The default video input, with a reference for the caller (ReleaseNode gives it back).
  status_t GetVideoInput(media_node* node);

  // Makes a node of the program's own known; its NodeRegistered runs in this thread.
  status_t RegisterNode(BMediaNode* node);
  // Drops a reference to a node; the last one destroys it.
  status_t ReleaseNode(const media_node& node);
  // A reference to a known node (released with ReleaseNode).
  status_t GetNodeFor(media_node_id id, media_node* node);
  status_t GetLiveNodeInfo(const media_node& node, live_node_info* info);

  // Up to `maxCount` unconnected outputs (inputs) of `type` (B_MEDIA_UNKNOWN_TYPE: any).
  status_t GetFreeOutputsFor(const media_node& producer, media_output* outputs, int32 maxCount,
                             int32* count, media_type type = B_MEDIA_UNKNOWN_TYPE);
  status_t GetFreeInputsFor(const media_node& consumer, media_input* inputs, int32 maxCount,
                            int32* count, media_type type = B_MEDIA_UNKNOWN_TYPE);

  // Negotiates `format` with both ends (producer's proposal, consumer's AcceptFormat, the
  // producer's reservation, consumer's Connected, producer's Connect) and returns both ends
  // of the connection made.
  status_t Connect(const media_source& from, const media_destination& to, media_format* format,
                   media_output* output, media_input* input);
  status_t Disconnect(media_node_id sourceNode, const media_source& source,
                      media_node_id destinationNode, const media_destination& destination);

  status_t SetTimeSourceFor(media_node_id node, media_node_id timeSource);
  // A producer's latency: from capture to handling downstream.
  status_t GetLatencyFor(const media_node& producer, bigtime_t* latency);
  status_t GetStartLatencyFor(const media_node& timeSource, bigtime_t* latency);
  status_t SetProducerRunModeDelay(const media_node& node, bigtime_t delay,
                                   run_mode mode = B_RECORDING);
  status_t SetRunModeNode(const media_node& node, run_mode mode);
  // The time source `node` follows (for a time source, itself), with a reference for the
  // caller, who releases it (BMediaNode::Release); nullptr if there is none.
  BTimeSource* MakeTimeSourceFor(const media_node& node);

  // Requests, queued to the node's control thread; the result says whether it was queued.
  status_t StartNode(const media_node& node, bigtime_t atPerformanceTime);
  status_t StopNode(const media_node& node, bigtime_t atPerformanceTime, bool immediate = false);
  status_t SeekNode(const media_node& node, bigtime_t toMediaTime, bigtime_t atPerformanceTime = 0);

  // A copy of a controllable node's parameters, owned by the caller.
  status_t GetParameterWebFor(const media_node& node, BParameterWeb** web);

  // Adds a watcher of the roster's notifications; *token identifies it for StopWatching.
  status_t StartWatching(media_watcher watcher, int32* token = nullptr);
  status_t StopWatching(int32 token);

  // For the kit itself.
  BTimeSource* SystemTimeSource() const { return fSystemTimeSource; }
  BTimeSource* FindTimeSource(media_node_id id);  // with a reference
  void UnregisterNode(BMediaNode* node);
  void Broadcast(int32 what, const media_node& node);

 private:
  BMediaRoster();
  ~BMediaRoster() = delete;  // lives as long as the program
  struct Entry {
    BMediaNode* node;
    bool system;
  };
  status_t AddNode(BMediaNode* node, bool system);
  // The node behind a port of a connection's end, if known.
  bool KnownPort(port_id port) const;

  mutable std::mutex fLock;
  std::map<media_node_id, Entry> fNodes;
  media_node_id fNextID = 1;
  BTimeSource* fSystemTimeSource = nullptr;
  BMediaNode* fVideoInput = nullptr;
  mutable std::mutex fVideoInputLock;
  std::string fVideoSetting;
  bool fVideoSettingGiven = false;
  std::mutex fWatchersLock;
  std::map<int32, media_watcher> fWatchers;
  int32 fNextWatcher = 1;
};
