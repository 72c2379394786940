#pragma once
// The parameters a node offers for editing: groups of named parameters, each with its range.
// A parameter reads and changes its value by asking its node through the roster, so a web
// stays safe to use after its node is gone (the calls then fail with B_MEDIA_BAD_NODE).

#include <memory>
#include <string>
#include <vector>

#include "platform/media/MediaDefs.h"

class BParameterGroup;
class BParameterWeb;

class BParameter {
 public:
  enum parameter_type { B_CONTINUOUS_PARAMETER, B_DISCRETE_PARAMETER };

  virtual ~BParameter() = default;
  parameter_type Type() const { return fType; }
  int32 ID() const { return fID; }
  const char* Name() const { return fName.c_str(); }
  const char* Unit() const { return fUnit.c_str(); }
  BParameterWeb* Web() const { return fWeb; }
  BParameterGroup* Group() const { return fGroup; }

  // The value as the node holds it now (continuous: one float; discrete: one int32).
  status_t GetValue(void* buffer, size_t* ioSize, bigtime_t* lastChange) const;
  // Asks the node to take the value at performance time `when` (0: at once).
  status_t SetValue(const void* buffer, size_t size, bigtime_t when);

  virtual BParameter* Clone() const = 0;

 protected:
  BParameter(parameter_type type, int32 id, const char* name, const char* unit);

 private:
  friend class BParameterGroup;
  friend class BParameterWeb;
  parameter_type fType;
  int32 fID;
  std::string fName;
  std::string fUnit;
  BParameterWeb* fWeb = nullptr;
  BParameterGroup* fGroup = nullptr;
};

class BContinuousParameter : public BParameter {
 public:
  BContinuousParameter(int32 id, const char* name, const char* unit, float minimum, float maximum,
                       float step);
  float MinValue() const { return fMinimum; }
  float MaxValue() const { return fMaximum; }
  float ValueStep() const { return fStep; }
  BParameter* Clone() const override { return new BContinuousParameter(*this); }

 private:
  float fMinimum, fMaximum, fStep;
};

class BDiscreteParameter : public BParameter {
 public:
  BDiscreteParameter(int32 id, const char* name);
  status_t AddItem(int32 value, const char* name);
  int32 CountItems() const { return int32(fItems.size()); }
  const char* ItemNameAt(int32 index) const;
  int32 ItemValueAt(int32 index) const;
  BParameter* Clone() const override { return new BDiscreteParameter(*this); }

 private:
  std::vector<std::pair<int32, std::string>> fItems;
};

class BParameterGroup {
 public:
  const char* Name() const { return fName.c_str(); }
  BParameterWeb* Web() const { return fWeb; }
  // The group takes ownership of the parameter.
  BContinuousParameter* MakeContinuousParameter(int32 id, const char* name, const char* unit,
                                                float minimum, float maximum, float step);
  BDiscreteParameter* MakeDiscreteParameter(int32 id, const char* name);
  int32 CountParameters() const { return int32(fParameters.size()); }
  BParameter* ParameterAt(int32 index) const;

 private:
  friend class BParameterWeb;
  BParameterGroup(BParameterWeb* web, const char* name) : fName(name), fWeb(web) {}
  std::string fName;
  BParameterWeb* fWeb;
  std::vector<std::unique_ptr<BParameter>> fParameters;
};

class BParameterWeb {
 public:
  BParameterWeb() = default;
  ~BParameterWeb();
  BParameterWeb(const BParameterWeb&) = delete;
  BParameterWeb& operator=(const BParameterWeb&) = delete;

  // A deep copy, for a caller who keeps it longer than the node does.
  BParameterWeb* Clone() const;
  media_node Node() const { return fNode; }
  void SetNode(const media_node& node) { fNode = node; }

  BParameterGroup* MakeGroup(const char* name);
  int32 CountGroups() const { return int32(fGroups.size()); }
  BParameterGroup* GroupAt(int32 index) const;
  int32 CountParameters() const;
  BParameter* ParameterAt(int32 index) const;

 private:
  media_node fNode = media_node::null;
  std::vector<std::unique_ptr<BParameterGroup>> fGroups;
};
