#pragma once
// The media structures: formats, node references, connections' ends, timed events and the
// codes the media kit's calls return and take.

#include <cstddef>
#include <cstdint>

#include "platform/media/Port.h"
#include "platform/support/Area.h"
#include "platform/support/ColorSpace.h"
#include "platform/support/Status.h"

typedef int32 media_node_id;
typedef int32 media_buffer_id;
typedef int32 thread_id;
typedef uint32 type_code;
typedef uint8 uchar;
typedef uint16_t uint16;

constexpr size_t B_MEDIA_NAME_LENGTH = 64;

enum media_type : int32 {
  B_MEDIA_NO_TYPE = -1,
  B_MEDIA_UNKNOWN_TYPE = 0,
  B_MEDIA_RAW_AUDIO = 1,
  B_MEDIA_RAW_VIDEO = 2,
  B_MEDIA_VBL = 3,
  B_MEDIA_TIMECODE = 4,
  B_MEDIA_MIDI = 5,
  B_MEDIA_TEXT = 6,
  B_MEDIA_HTML = 7,
  B_MEDIA_MULTISTREAM = 8,
  B_MEDIA_PARAMETERS = 9,
  B_MEDIA_ENCODED_AUDIO = 10,
  B_MEDIA_ENCODED_VIDEO = 11,
};

// What a node is; a node is usually several of these at once.
enum node_kind : uint32 {
  B_BUFFER_PRODUCER = 0x1,
  B_BUFFER_CONSUMER = 0x2,
  B_TIME_SOURCE = 0x4,
  B_CONTROLLABLE = 0x8,
  B_FILE_INTERFACE = 0x10,
  B_ENTITY_INTERFACE = 0x20,
  B_PHYSICAL_INPUT = 0x10000,
  B_PHYSICAL_OUTPUT = 0x20000,
  B_SYSTEM_MIXER = 0x40000,
};

// How a node copes with being late.
enum run_mode : int32 {
  B_OFFLINE = 1,
  B_DECREASE_PRECISION = 2,
  B_INCREASE_LATENCY = 3,
  B_DROP_DATA = 4,
  B_RECORDING = 5,
};

// States of an event looper's node.
enum run_state : int32 {
  B_UNREGISTERED = 0,
  B_STOPPED = 1,
  B_STARTED = 2,
  B_QUITTING = 3,
  B_TERMINATED = 4,
};

// Priorities of control threads (10 is an ordinary thread).
constexpr int32 B_LOW_PRIORITY = 5;
constexpr int32 B_NORMAL_PRIORITY = 10;
constexpr int32 B_DISPLAY_PRIORITY = 15;
constexpr int32 B_URGENT_DISPLAY_PRIORITY = 20;
constexpr int32 B_REAL_TIME_DISPLAY_PRIORITY = 100;

enum video_orientation : uint32 {
  B_VIDEO_TOP_LEFT_RIGHT = 1,
  B_VIDEO_BOTTOM_LEFT_RIGHT = 2,
};

struct media_video_display_info {
  color_space format;  // B_NO_COLOR_SPACE is the wildcard
  uint32 line_width;
  uint32 line_count;
  uint32 bytes_per_row;
  uint32 pixel_offset;
  uint32 line_offset;
  uint32 flags;
};

struct media_raw_video_format {
  float field_rate;
  uint32 interlace;
  uint32 first_active;
  uint32 last_active;
  uint32 orientation;
  uint16 pixel_width_aspect;
  uint16 pixel_height_aspect;
  media_video_display_info display;

  // Every field zero: matches anything.
  static const media_raw_video_format wildcard;
};

struct media_raw_audio_format {
  float frame_rate;
  uint32 channel_count;
  uint32 format;
  uint32 byte_order;
  size_t buffer_size;

  static const media_raw_audio_format wildcard;
};

struct media_format {
  media_format();

  media_type type;
  type_code user_data_type;
  uchar user_data[48];
  uint32 require_flags;
  uint32 deny_flags;
  union {
    media_raw_audio_format raw_audio;
    media_raw_video_format raw_video;
    uchar _reserved_[96];
  } u;

  bool IsVideo() const { return type == B_MEDIA_RAW_VIDEO || type == B_MEDIA_ENCODED_VIDEO; }
  bool IsAudio() const { return type == B_MEDIA_RAW_AUDIO || type == B_MEDIA_ENCODED_AUDIO; }
};

bool operator==(const media_raw_video_format& a, const media_raw_video_format& b);

// One end of a connection on the producer's side: the producer's port and its output's id.
struct media_source {
  port_id port;
  int32 id;
  static const media_source null;
};

// One end of a connection on the consumer's side: the consumer's port and its input's id.
struct media_destination {
  port_id port;
  int32 id;
  static const media_destination null;
};

bool operator==(const media_source& a, const media_source& b);
bool operator!=(const media_source& a, const media_source& b);
bool operator==(const media_destination& a, const media_destination& b);
bool operator!=(const media_destination& a, const media_destination& b);

struct media_node {
  media_node_id node;
  port_id port;
  uint32 kind;
  static const media_node null;
};

bool operator==(const media_node& a, const media_node& b);
bool operator!=(const media_node& a, const media_node& b);

struct media_input {
  media_input();
  media_node node;
  media_source source;
  media_destination destination;
  media_format format;
  char name[B_MEDIA_NAME_LENGTH];
  uint32 _reserved_media_input_[4];
};

struct media_output {
  media_output();
  media_node node;
  media_source source;
  media_destination destination;
  media_format format;
  char name[B_MEDIA_NAME_LENGTH];
  uint32 _reserved_media_output_[4];
};

struct live_node_info {
  live_node_info();
  media_node node;
  float hint_x;
  float hint_y;
  char name[B_MEDIA_NAME_LENGTH];
};

// The answer to a request a consumer made of its producer (through RequestCompleted).
struct media_request_info {
  enum what_code : int32 {
    B_SET_VIDEO_CLIPPING_FOR = 1,
    B_REQUEST_FORMAT_CHANGE = 2,
    B_SET_OUTPUT_ENABLED = 3,
    B_SET_OUTPUT_BUFFERS_FOR = 4,
    B_FORMAT_CHANGED = 4097,
  };
  what_code what;
  int32 change_tag;
  status_t status;
  void* cookie;
  void* user_data;
  media_source source;
  media_destination destination;
  media_format format;
};

// Describes one buffer of a group: where its memory lies in a shareable area.
struct buffer_clone_info {
  media_buffer_id buffer;
  area_id area;
  size_t offset;
  size_t size;
  int32 flags;
};

// What travels with a buffer.
struct media_header {
  media_type type;
  media_buffer_id buffer;
  int32 destination;
  media_node_id time_source;
  uint32 size_used;
  bigtime_t start_time;  // performance time at which the buffer is to be handled
  uint32 flags;
  uint32 field_sequence;
};

// Text of a format on one line, e.g. "raw video, 320x240, B_RGB32, 1280 bytes/row, ...".
// False when the text had to be cut to fit.
bool string_for_format(const media_format& format, char* buffer, size_t size);

// The longest delay, in µs, that a thread may expect between becoming ready and running
// (-1: the calling thread).
bigtime_t estimate_max_scheduling_latency(thread_id thread = -1);

// The id of the calling thread.
thread_id find_thread(const char* name);

// Notifications of the roster to its watchers.
constexpr int32 B_MEDIA_NODE_CREATED = 0x54524941;       // 'TRIA'
constexpr int32 B_MEDIA_NODE_DELETED = 0x54524942;       // 'TRIB'
constexpr int32 B_MEDIA_CONNECTION_MADE = 0x54524943;    // 'TRIC'
constexpr int32 B_MEDIA_CONNECTION_BROKEN = 0x54524944;  // 'TRID'
constexpr int32 B_MEDIA_NODE_STOPPED = 0x54524946;       // 'TRIF' (also sent when a node fails)
constexpr int32 B_MEDIA_WEB_CHANGED = 0x5452494A;        // 'TRIJ'

// Media-kit status codes beyond those of the support kit.
constexpr status_t B_MEDIA_BUFFER_ALREADY_EXISTS = static_cast<status_t>(0x80004108);
constexpr status_t B_MEDIA_NODE_ALREADY_EXISTS = static_cast<status_t>(0x80004106);
constexpr status_t B_MEDIA_BAD_BUFFER = static_cast<status_t>(0x80004107);
constexpr status_t B_MEDIA_ALREADY_CONNECTED = static_cast<status_t>(0x80004113);
constexpr status_t B_MEDIA_NOT_CONNECTED = static_cast<status_t>(0x80004114);
constexpr status_t B_MEDIA_TIME_SOURCE_STOPPED = static_cast<status_t>(0x80004101);
