#include "platform/media/BControllable.h"

#include "platform/media/MediaProtocol.h"
#include "platform/media/BMediaRoster.h"

using namespace media_protocol;

BControllable::BControllable() : BMediaNode("controllable") { AddNodeKind(B_CONTROLLABLE); }

BControllable::~BControllable() = default;

status_t BControllable::SetParameterWeb(BParameterWeb* web) {
  if (web) web->SetNode(Node());
  {
    std::lock_guard<std::mutex> lock(fWebLock);
    fWeb.reset(web);
  }
  if (BMediaRoster* roster = BMediaRoster::CurrentRoster())
    roster->Broadcast(B_MEDIA_WEB_CHANGED, Node());
  return B_OK;
}

status_t BControllable::HandleMessage(int32 code, const void* data, size_t size) {
  switch (code) {
    case kControllableGetWeb: {
      if (size < sizeof(GetWebRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const GetWebRequest*>(data);
      GetWebReply reply{B_OK, nullptr};
      {
        std::lock_guard<std::mutex> lock(fWebLock);
        if (fWeb) {
          reply.web = fWeb->Clone();
          reply.web->SetNode(Node());
        } else {
          reply.status = B_NAME_NOT_FOUND;
        }
      }
      // A requester that gave up no longer takes the copy.
      if (write_port_etc(request->reply, code, &reply, sizeof(reply), 0) != B_OK) delete reply.web;
      return B_OK;
    }
    case kControllableGetValue: {
      if (size < sizeof(GetValueRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const GetValueRequest*>(data);
      GetValueReply reply{};
      reply.size = sizeof(reply.value);
      reply.status = GetParameterValue(request->id, &reply.last_change, reply.value, &reply.size);
      Answer(request->reply, code, reply);
      return B_OK;
    }
    case kControllableSetValue: {
      if (size < sizeof(SetValueRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const SetValueRequest*>(data);
      SetParameterValue(request->id, request->when, request->value,
                        request->size < sizeof(request->value) ? request->size
                                                               : sizeof(request->value));
      return B_OK;
    }
    default:
      return B_ERROR;
  }
}
