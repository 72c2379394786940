#include "platform/media/MediaDefs.h"

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

const media_raw_video_format media_raw_video_format::wildcard = {};
const media_raw_audio_format media_raw_audio_format::wildcard = {};
const media_source media_source::null = {-1, -1};
const media_destination media_destination::null = {-1, -1};
const media_node media_node::null = {-1, -1, 0};

media_format::media_format() { std::memset(static_cast<void*>(this), 0, sizeof(*this)); }

media_input::media_input() {
  std::memset(static_cast<void*>(this), 0, sizeof(*this));
  node = media_node::null;
  source = media_source::null;
  destination = media_destination::null;
}

media_output::media_output() {
  std::memset(static_cast<void*>(this), 0, sizeof(*this));
  node = media_node::null;
  source = media_source::null;
  destination = media_destination::null;
}

live_node_info::live_node_info() : node(media_node::null), hint_x(0), hint_y(0), name() {}

bool operator==(const media_raw_video_format& a, const media_raw_video_format& b) {
  return a.field_rate == b.field_rate && a.interlace == b.interlace &&
         a.first_active == b.first_active && a.last_active == b.last_active &&
         a.orientation == b.orientation && a.pixel_width_aspect == b.pixel_width_aspect &&
         a.pixel_height_aspect == b.pixel_height_aspect &&
         a.display.format == b.display.format && a.display.line_width == b.display.line_width &&
         a.display.line_count == b.display.line_count &&
         a.display.bytes_per_row == b.display.bytes_per_row &&
         a.display.pixel_offset == b.display.pixel_offset &&
         a.display.line_offset == b.display.line_offset && a.display.flags == b.display.flags;
}

bool operator==(const media_source& a, const media_source& b) {
  return a.port == b.port && a.id == b.id;
}
bool operator!=(const media_source& a, const media_source& b) { return !(a == b); }
bool operator==(const media_destination& a, const media_destination& b) {
  return a.port == b.port && a.id == b.id;
}
bool operator!=(const media_destination& a, const media_destination& b) { return !(a == b); }
bool operator==(const media_node& a, const media_node& b) {
  return a.node == b.node && a.port == b.port && a.kind == b.kind;
}
bool operator!=(const media_node& a, const media_node& b) { return !(a == b); }

namespace {

const char* ColorSpaceName(color_space space) {
  switch (space) {
    case B_NO_COLOR_SPACE: return "any colour space";
    case B_GRAY8: return "B_GRAY8";
    case B_RGB16: return "B_RGB16";
    case B_RGB32: return "B_RGB32";
    case B_RGB15: return "B_RGB15";
  }
  return nullptr;
}

const char* TypeName(media_type type) {
  switch (type) {
    case B_MEDIA_NO_TYPE: return "no type";
    case B_MEDIA_UNKNOWN_TYPE: return "unknown type";
    case B_MEDIA_RAW_AUDIO: return "raw audio";
    case B_MEDIA_RAW_VIDEO: return "raw video";
    case B_MEDIA_ENCODED_AUDIO: return "encoded audio";
    case B_MEDIA_ENCODED_VIDEO: return "encoded video";
    default: return "other type";
  }
}

}  // namespace

bool string_for_format(const media_format& format, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return false;
  int written;
  if (format.type == B_MEDIA_RAW_VIDEO) {
    const media_raw_video_format& video = format.u.raw_video;
    const char* space = ColorSpaceName(video.display.format);
    char spaceText[24];
    if (space == nullptr) {
      std::snprintf(spaceText, sizeof(spaceText), "colour space %d", int(video.display.format));
      space = spaceText;
    }
    written = std::snprintf(buffer, size,
                            "raw video, %ux%u, %s, %u bytes/row, %f fields/s, interlace %u, "
                            "lines %u-%u",
                            video.display.line_width, video.display.line_count, space,
                            video.display.bytes_per_row, double(video.field_rate),
                            video.interlace, video.first_active, video.last_active);
  } else if (format.type == B_MEDIA_RAW_AUDIO) {
    const media_raw_audio_format& audio = format.u.raw_audio;
    written = std::snprintf(buffer, size, "raw audio, %f Hz, %u channels, format 0x%x",
                            double(audio.frame_rate), audio.channel_count, audio.format);
  } else {
    written = std::snprintf(buffer, size, "%s (%d)", TypeName(format.type), int(format.type));
  }
  return written >= 0 && size_t(written) < size;
}

thread_id find_thread(const char* /*name*/) { return thread_id(syscall(SYS_gettid)); }

bigtime_t estimate_max_scheduling_latency(thread_id thread) {
  pid_t tid = thread < 0 ? pid_t(syscall(SYS_gettid)) : pid_t(thread);
  int policy = sched_getscheduler(tid);
  if (policy < 0) return 5000;
  // A real-time thread preempts ordinary work at once; an ordinary one waits for a time
  // slice of whatever else runs on its core, more of them on a small machine.
  bool realTime = policy == SCHED_FIFO || policy == SCHED_RR;
  long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  bigtime_t latency = realTime ? 500 : 3000;
  if (cpus > 0 && cpus < 4) latency += realTime ? 500 : 2000;
  return latency;
}
