#include "platform/media/VideoPipeline.h"

#include <pthread.h>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/colorbalance.h>
#include <gst/video/video.h>
#include <unistd.h>

#include <mutex>

struct VideoPipeline::Private {
  GstElement* pipeline = nullptr;
  GstElement* source = nullptr;   // the source element or bin
  GstElement* convert = nullptr;  // first element after the source
  GstElement* sink = nullptr;
  GstColorBalance* balance = nullptr;
  bool live = false;
  std::mutex hooksLock;
  FrameHook frames;
  FailureHook failure;
  std::atomic<bool> failed{false};
};

namespace {

void InitGStreamer() {
  static std::once_flag once;
  std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

std::string TakeError(GError* error) {
  std::string text = error && error->message ? error->message : "unknown error";
  if (error) g_error_free(error);
  return text;
}

GstFlowReturn OnNewSample(GstAppSink* sink, gpointer data) {
  auto* p = static_cast<VideoPipeline::Private*>(data);
  GstSample* sample = gst_app_sink_pull_sample(sink);
  if (sample == nullptr) return GST_FLOW_OK;
  GstVideoInfo info;
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  GstCaps* caps = gst_sample_get_caps(sample);
  if (buffer && caps && gst_video_info_from_caps(&info, caps)) {
    GstVideoFrame frame;
    if (gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
      std::lock_guard<std::mutex> lock(p->hooksLock);
      if (p->frames)
        p->frames(static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                  size_t(GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0)),
                  uint32_t(GST_VIDEO_FRAME_WIDTH(&frame)), uint32_t(GST_VIDEO_FRAME_HEIGHT(&frame)));
      gst_video_frame_unmap(&frame);
    }
  }
  gst_sample_unref(sample);
  return GST_FLOW_OK;
}

// Links a decoder's video pad, once it appears, to the conversion chain.
void OnPadAdded(GstElement*, GstPad* pad, gpointer data) {
  auto* p = static_cast<VideoPipeline::Private*>(data);
  GstCaps* caps = gst_pad_get_current_caps(pad);
  if (caps == nullptr) caps = gst_pad_query_caps(pad, nullptr);
  bool video = false;
  if (caps && gst_caps_get_size(caps) > 0) {
    const char* name = gst_structure_get_name(gst_caps_get_structure(caps, 0));
    video = g_str_has_prefix(name, "video/");
  }
  if (caps) gst_caps_unref(caps);
  if (!video) return;
  GstPad* sinkPad = gst_element_get_static_pad(p->convert, "sink");
  if (!gst_pad_is_linked(sinkPad)) gst_pad_link(pad, sinkPad);
  gst_object_unref(sinkPad);
}

GstElement* FirstCamera(std::string* name) {
  GstDeviceMonitor* monitor = gst_device_monitor_new();
  gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
  GstElement* element = nullptr;
  if (gst_device_monitor_start(monitor)) {
    GList* devices = gst_device_monitor_get_devices(monitor);
    for (GList* it = devices; it && !element; it = it->next) {
      auto* device = GST_DEVICE(it->data);
      element = gst_device_create_element(device, "source");
      if (element) {
        gchar* display = gst_device_get_display_name(device);
        *name = display ? display : "camera";
        g_free(display);
      }
    }
    g_list_free_full(devices, gst_object_unref);
    gst_device_monitor_stop(monitor);
  }
  gst_object_unref(monitor);
  return element;
}

}  // namespace

VideoSourceChoice ParseVideoSetting(const char* setting) {
  VideoSourceChoice choice;
  std::string text = setting ? setting : "";
  if (text.empty() || text == "camera") {
    choice.kind = VideoSourceChoice::kCamera;
  } else if (text == "test") {
    choice.kind = VideoSourceChoice::kTest;
    choice.argument = "ball";
  } else if (text.rfind("test:", 0) == 0) {
    choice.kind = VideoSourceChoice::kTest;
    choice.argument = text.substr(5);
  } else if (text.rfind("pipeline:", 0) == 0) {
    choice.kind = VideoSourceChoice::kDescription;
    choice.argument = text.substr(9);
  } else if (text.rfind("/dev/video", 0) == 0) {
    choice.kind = VideoSourceChoice::kDevice;
    choice.argument = text;
  } else {
    choice.kind = VideoSourceChoice::kFile;
    choice.argument = text;
  }
  return choice;
}

VideoPipeline::VideoPipeline() : fPrivate(new Private) {}

status_t VideoPipeline::Create(const VideoSourceChoice& choice, std::unique_ptr<VideoPipeline>* out,
                               std::string* why) {
  InitGStreamer();
  std::unique_ptr<VideoPipeline> video(new VideoPipeline);
  Private* p = video->fPrivate.get();
  GstElement* source = nullptr;
  bool dynamic = false;

  switch (choice.kind) {
    case VideoSourceChoice::kCamera:
      source = FirstCamera(&video->fDescription);
      if (source == nullptr) {
        *why = "no camera found";
        return B_NAME_NOT_FOUND;
      }
      p->live = true;
      break;
    case VideoSourceChoice::kDevice:
      if (access(choice.argument.c_str(), R_OK) != 0) {
        *why = "cannot open " + choice.argument;
        return B_NAME_NOT_FOUND;
      }
      source = gst_element_factory_make("v4l2src", "source");
      if (source) g_object_set(source, "device", choice.argument.c_str(), nullptr);
      video->fDescription = choice.argument;
      p->live = true;
      break;
    case VideoSourceChoice::kTest: {
      source = gst_element_factory_make("videotestsrc", "source");
      if (source == nullptr) break;
      GParamSpec* property = g_object_class_find_property(G_OBJECT_GET_CLASS(source), "pattern");
      GEnumClass* patterns = G_ENUM_CLASS(g_type_class_ref(property->value_type));
      GEnumValue* pattern = g_enum_get_value_by_nick(patterns, choice.argument.c_str());
      g_type_class_unref(patterns);
      if (pattern == nullptr) {
        gst_object_unref(source);
        *why = "unknown test pattern \"" + choice.argument + "\"";
        return B_BAD_VALUE;
      }
      g_object_set(source, "is-live", TRUE, "pattern", pattern->value, nullptr);
      // The ball moves by itself; other patterns scroll so that there is motion to see.
      if (choice.argument != "ball") g_object_set(source, "horizontal-speed", 2, nullptr);
      video->fDescription = "test pattern (" + choice.argument + ")";
      p->live = true;
      break;
    }
    case VideoSourceChoice::kFile: {
      gchar* uri = nullptr;
      if (gst_uri_is_valid(choice.argument.c_str())) {
        uri = g_strdup(choice.argument.c_str());
      } else {
        if (!g_file_test(choice.argument.c_str(), G_FILE_TEST_IS_REGULAR) ||
            access(choice.argument.c_str(), R_OK) != 0) {
          *why = "cannot read the video file " + choice.argument;
          return B_NAME_NOT_FOUND;
        }
        uri = gst_filename_to_uri(choice.argument.c_str(), nullptr);
      }
      source = gst_element_factory_make("uridecodebin", "source");
      if (source && uri) g_object_set(source, "uri", uri, nullptr);
      g_free(uri);
      dynamic = true;
      video->fDescription = choice.argument;
      break;
    }
    case VideoSourceChoice::kDescription: {
      GError* error = nullptr;
      source = gst_parse_bin_from_description(choice.argument.c_str(), TRUE, &error);
      if (error != nullptr) {
        if (source) gst_object_unref(source);
        *why = "bad pipeline description: " + TakeError(error);
        return B_BAD_VALUE;
      }
      GstPad* pad = source ? gst_element_get_static_pad(source, "src") : nullptr;
      if (pad == nullptr) {
        if (source) gst_object_unref(source);
        *why = "the pipeline description has no unlinked video output";
        return B_BAD_VALUE;
      }
      gst_object_unref(pad);
      video->fDescription = choice.argument;
      break;
    }
  }
  if (source == nullptr) {
    *why = "a GStreamer element for the video input is missing";
    return B_ERROR;
  }

  p->pipeline = gst_pipeline_new("video-input");
  p->source = source;
  p->convert = gst_element_factory_make("videoconvert", nullptr);
  GstElement* scale = gst_element_factory_make("videoscale", nullptr);
  GstElement* balance = gst_element_factory_make("videobalance", nullptr);
  GstElement* convert2 = gst_element_factory_make("videoconvert", nullptr);
  p->sink = gst_element_factory_make("appsink", "sink");
  if (!p->convert || !scale || !balance || !convert2 || !p->sink) {
    for (GstElement* e : {p->convert, scale, balance, convert2, p->sink, source})
      if (e) gst_object_unref(e);
    p->source = p->convert = p->sink = nullptr;
    *why = "a GStreamer conversion element is missing";
    return B_ERROR;
  }
  gst_bin_add_many(GST_BIN(p->pipeline), source, p->convert, scale, balance, convert2, p->sink,
                   nullptr);
  if (!gst_element_link_many(p->convert, scale, balance, convert2, p->sink, nullptr) ||
      (!dynamic && !gst_element_link(source, p->convert))) {
    *why = "the video input's source cannot feed the conversion";
    return B_ERROR;
  }
  if (dynamic) g_signal_connect(source, "pad-added", G_CALLBACK(OnPadAdded), p);

  g_object_set(p->sink, "max-buffers", 2, "drop", TRUE, "sync", TRUE, nullptr);
  GstAppSinkCallbacks callbacks{};
  callbacks.new_sample = OnNewSample;
  gst_app_sink_set_callbacks(GST_APP_SINK(p->sink), &callbacks, p, nullptr);

  // Opening the source now turns a busy or missing device into a failure here.
  if (gst_element_set_state(p->pipeline, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
    GstBus* bus = gst_element_get_bus(p->pipeline);
    GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
    std::string text = "cannot open the video input";
    if (message) {
      GError* error = nullptr;
      gst_message_parse_error(message, &error, nullptr);
      text += ": " + TakeError(error);
      gst_message_unref(message);
    }
    gst_object_unref(bus);
    gst_element_set_state(p->pipeline, GST_STATE_NULL);
    *why = text;
    return B_NAME_NOT_FOUND;
  }
  // The camera's own controls when it has them, the pipeline's colour balance otherwise.
  GstElement* balancing = GST_IS_COLOR_BALANCE(source) ? source : balance;
  p->balance = GST_COLOR_BALANCE(balancing);

  video->fBusThread = std::thread([v = video.get()] { v->WatchBus(); });
  *out = std::move(video);
  return B_OK;
}

VideoPipeline::~VideoPipeline() {
  Private* p = fPrivate.get();
  if (p->pipeline) gst_element_set_state(p->pipeline, GST_STATE_NULL);
  fQuitting.store(true);
  if (fBusThread.joinable()) fBusThread.join();
  if (p->pipeline) gst_object_unref(p->pipeline);
}

void VideoPipeline::WatchBus() {
  pthread_setname_np(pthread_self(), "video bus");
  Private* p = fPrivate.get();
  GstBus* bus = gst_element_get_bus(p->pipeline);
  while (!fQuitting.load()) {
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, 100 * GST_MSECOND, GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
    if (message == nullptr) continue;
    std::string text;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
      text = "the video input ended";
    } else {
      GError* error = nullptr;
      gst_message_parse_error(message, &error, nullptr);
      text = "the video input failed: " + TakeError(error);
    }
    gst_message_unref(message);
    // One report per run, however many elements complain.
    if (p->failed.exchange(true)) continue;
    FailureHook failure;
    {
      std::lock_guard<std::mutex> lock(p->hooksLock);
      failure = p->failure;
    }
    if (failure) failure(text);
  }
  gst_object_unref(bus);
}

status_t VideoPipeline::Play(uint32_t width, uint32_t height, FrameHook frames,
                             FailureHook failure) {
  Private* p = fPrivate.get();
  if (width == 0 || height == 0) return B_BAD_VALUE;
  {
    std::lock_guard<std::mutex> lock(p->hooksLock);
    p->frames = std::move(frames);
    p->failure = std::move(failure);
  }
  GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width",
                                      G_TYPE_INT, int(width), "height", G_TYPE_INT, int(height),
                                      "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
  g_object_set(p->sink, "caps", caps, nullptr);
  gst_caps_unref(caps);
  p->failed.store(false);
  if (gst_element_set_state(p->pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
    return B_ERROR;
  return B_OK;
}

void VideoPipeline::Pause() {
  Private* p = fPrivate.get();
  gst_element_set_state(p->pipeline, GST_STATE_PAUSED);
}

void VideoPipeline::Halt() {
  Private* p = fPrivate.get();
  gst_element_set_state(p->pipeline, GST_STATE_NULL);
}

status_t VideoPipeline::Seek(int64_t position) {
  Private* p = fPrivate.get();
  if (p->live) return B_NOT_ALLOWED;
  gboolean done = gst_element_seek_simple(
      p->pipeline, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT),
      gint64(position) * GST_USECOND);
  return done ? B_OK : B_ERROR;
}

std::vector<VideoPipeline::Control> VideoPipeline::Controls() const {
  std::vector<Control> controls;
  const Private* p = fPrivate.get();
  if (p->balance == nullptr) return controls;
  for (const GList* it = gst_color_balance_list_channels(p->balance); it; it = it->next) {
    auto* channel = GST_COLOR_BALANCE_CHANNEL(it->data);
    controls.push_back(Control{channel->label ? channel->label : "control",
                               channel->min_value, channel->max_value});
  }
  return controls;
}

namespace {
GstColorBalanceChannel* ChannelAt(GstColorBalance* balance, int32_t index) {
  if (balance == nullptr || index < 0) return nullptr;
  const GList* it = gst_color_balance_list_channels(balance);
  for (int32_t i = 0; it && i < index; i++) it = it->next;
  return it ? GST_COLOR_BALANCE_CHANNEL(it->data) : nullptr;
}
}  // namespace

status_t VideoPipeline::GetControl(int32_t index, int32_t* value) const {
  GstColorBalanceChannel* channel = ChannelAt(fPrivate->balance, index);
  if (channel == nullptr || value == nullptr) return B_BAD_VALUE;
  *value = gst_color_balance_get_value(fPrivate->balance, channel);
  return B_OK;
}

status_t VideoPipeline::SetControl(int32_t index, int32_t value) {
  GstColorBalanceChannel* channel = ChannelAt(fPrivate->balance, index);
  if (channel == nullptr) return B_BAD_VALUE;
  value = value < channel->min_value ? channel->min_value : value;
  value = value > channel->max_value ? channel->max_value : value;
  gst_color_balance_set_value(fPrivate->balance, channel, value);
  return B_OK;
}
