#include "platform/app/BRoster.h"

#include <gio/gio.h>

#include <cstdio>

#include "platform/app/BMessenger.h"
#include "platform/app/MessageFolder.h"
#include "platform/support/Log.h"

namespace {

const BRoster gRoster;

// GIO reports the started process in the launch context's "launched" signal.
void RememberPid(GAppLaunchContext*, GAppInfo*, GVariant* platformData, gpointer data) {
  gint32 pid = -1;
  if (platformData != nullptr && g_variant_lookup(platformData, "pid", "i", &pid))
    *static_cast<team_id*>(data) = team_id(pid);
}

}  // namespace

const BRoster* be_roster = &gRoster;

bool BRoster::IsRunning(const char* signature) const {
  return signature != nullptr && !is_osc_signature(signature) && BMessenger(signature).IsValid();
}

status_t BRoster::Launch(const char* signature, team_id* team) const {
  if (signature == nullptr || signature[0] == '\0' || is_osc_signature(signature))
    return B_BAD_VALUE;
  if (IsRunning(signature)) return B_ALREADY_RUNNING;

  GAppInfo* info = g_app_info_get_default_for_type(signature, FALSE);
  if (info == nullptr) return B_NAME_NOT_FOUND;

  team_id launched = -1;
  GError* error = nullptr;
  GAppLaunchContext* context = g_app_launch_context_new();
  g_signal_connect(context, "launched", G_CALLBACK(RememberPid), &launched);
  gboolean ok = g_app_info_launch(info, nullptr, context, &error);
  g_object_unref(context);
  if (!ok) {
    Log(LogLevel::kWarn, "zanvel: cannot start %s for %s: %s", g_app_info_get_id(info), signature,
            error != nullptr ? error->message : "unknown reason");
    if (error != nullptr) g_error_free(error);
    g_object_unref(info);
    return B_LAUNCH_FAILED;
  }
  g_object_unref(info);
  if (team != nullptr) *team = launched;
  return B_OK;
}
