#include "platform/media/BParameterWeb.h"

#include <cstring>

#include "platform/media/MediaProtocol.h"
#include "platform/media/BMediaRoster.h"

using namespace media_protocol;

BParameter::BParameter(parameter_type type, int32 id, const char* name, const char* unit)
    : fType(type), fID(id), fName(name ? name : ""), fUnit(unit ? unit : "") {}

status_t BParameter::GetValue(void* buffer, size_t* ioSize, bigtime_t* lastChange) const {
  if (buffer == nullptr || ioSize == nullptr) return B_BAD_VALUE;
  if (fWeb == nullptr || fWeb->Node().port < 0) return B_MEDIA_BAD_NODE;
  GetValueRequest request{-1, fID};
  GetValueReply reply{};
  status_t status = Query(fWeb->Node().port, kControllableGetValue, request, &reply);
  if (status == B_BAD_PORT_ID) return B_MEDIA_BAD_NODE;
  if (status != B_OK) return status;
  if (reply.status != B_OK) return reply.status;
  size_t size = reply.size < *ioSize ? reply.size : *ioSize;
  std::memcpy(buffer, reply.value, size);
  *ioSize = size;
  if (lastChange) *lastChange = reply.last_change;
  return B_OK;
}

status_t BParameter::SetValue(const void* buffer, size_t size, bigtime_t when) {
  if (buffer == nullptr || size == 0 || size > sizeof(SetValueRequest::value)) return B_BAD_VALUE;
  if (fWeb == nullptr || fWeb->Node().port < 0) return B_MEDIA_BAD_NODE;
  SetValueRequest request{fID, when, size, {}};
  std::memcpy(request.value, buffer, size);
  status_t status = write_port_etc(fWeb->Node().port, kControllableSetValue, &request,
                                   sizeof(request), kReplyTimeout);
  return status == B_BAD_PORT_ID ? B_MEDIA_BAD_NODE : status;
}

BContinuousParameter::BContinuousParameter(int32 id, const char* name, const char* unit,
                                           float minimum, float maximum, float step)
    : BParameter(B_CONTINUOUS_PARAMETER, id, name, unit),
      fMinimum(minimum),
      fMaximum(maximum),
      fStep(step) {}

BDiscreteParameter::BDiscreteParameter(int32 id, const char* name)
    : BParameter(B_DISCRETE_PARAMETER, id, name, "") {}

status_t BDiscreteParameter::AddItem(int32 value, const char* name) {
  fItems.emplace_back(value, name ? name : "");
  return B_OK;
}

const char* BDiscreteParameter::ItemNameAt(int32 index) const {
  return index >= 0 && index < CountItems() ? fItems[size_t(index)].second.c_str() : nullptr;
}

int32 BDiscreteParameter::ItemValueAt(int32 index) const {
  return index >= 0 && index < CountItems() ? fItems[size_t(index)].first : 0;
}

BContinuousParameter* BParameterGroup::MakeContinuousParameter(int32 id, const char* name,
                                                               const char* unit, float minimum,
                                                               float maximum, float step) {
  auto* parameter = new BContinuousParameter(id, name, unit, minimum, maximum, step);
  parameter->fWeb = fWeb;
  parameter->fGroup = this;
  fParameters.emplace_back(parameter);
  return parameter;
}

BDiscreteParameter* BParameterGroup::MakeDiscreteParameter(int32 id, const char* name) {
  auto* parameter = new BDiscreteParameter(id, name);
  parameter->fWeb = fWeb;
  parameter->fGroup = this;
  fParameters.emplace_back(parameter);
  return parameter;
}

BParameter* BParameterGroup::ParameterAt(int32 index) const {
  return index >= 0 && index < CountParameters() ? fParameters[size_t(index)].get() : nullptr;
}

BParameterWeb::~BParameterWeb() = default;

BParameterWeb* BParameterWeb::Clone() const {
  auto* web = new BParameterWeb;
  web->fNode = fNode;
  for (const auto& group : fGroups) {
    BParameterGroup* copy = web->MakeGroup(group->Name());
    for (const auto& parameter : group->fParameters) {
      BParameter* clone = parameter->Clone();
      clone->fWeb = web;
      clone->fGroup = copy;
      copy->fParameters.emplace_back(clone);
    }
  }
  return web;
}

BParameterGroup* BParameterWeb::MakeGroup(const char* name) {
  fGroups.emplace_back(new BParameterGroup(this, name ? name : ""));
  return fGroups.back().get();
}

BParameterGroup* BParameterWeb::GroupAt(int32 index) const {
  return index >= 0 && index < CountGroups() ? fGroups[size_t(index)].get() : nullptr;
}

int32 BParameterWeb::CountParameters() const {
  int32 count = 0;
  for (const auto& group : fGroups) count += group->CountParameters();
  return count;
}

BParameter* BParameterWeb::ParameterAt(int32 index) const {
  for (const auto& group : fGroups) {
    if (index < group->CountParameters()) return group->ParameterAt(index);
    index -= group->CountParameters();
  }
  return nullptr;
}

