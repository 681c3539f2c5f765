// The operands the emitter hands the dialect's hooks: nodes of the tree,
// written by the emitter when the dialect asks for them.
#pragma once

#include <string>

#include "db/jet/Emitter.h"

namespace tessaly::db::jet {

// Whether argument index of a call is what the call gives back as it is
// (a branch of Iif, a value of Switch or Choose, either of Nz): a
// comparison there is a kept value, Jet's -1 or 0, not a condition.
inline bool GivesBack(JetFunction function, size_t index) {
  switch (function) {
    case JetFunction::kIif: return index >= 1;
    case JetFunction::kSwitch: return index % 2 == 1;
    case JetFunction::kChoose: return index >= 1;
    case JetFunction::kNz: return true;
    default: return false;
  }
}

// The children of a node, as a hook's operands.
class NodeOperands final : public Operands {
 public:
  NodeOperands(Emitter& emitter, const NodeId* ids, size_t count)
      : emitter_(emitter), ids_(ids), count_(count) {}
  // The arguments of a call to function.
  NodeOperands(Emitter& emitter, const NodeId* ids, size_t count, JetFunction function)
      : emitter_(emitter), ids_(ids), count_(count), function_(function), call_(true) {}
  size_t size() const override { return count_; }
  void Write(size_t index, std::string& out) const override {
    if (IsKeptTruth(index)) {
      out += '(';
      emitter_.Value(ids_[index], out);
      out += ')';
      return;
    }
    emitter_.Expression(ids_[index], true, out);
  }
  void WriteArgument(size_t index, std::string& out) const override {
    if (IsKeptTruth(index)) {
      emitter_.Value(ids_[index], out);
      return;
    }
    emitter_.Expression(ids_[index], false, out);
  }
  bool IsColumn(size_t index) const override {
    return emitter_.ast_[ids_[index]].kind == NodeKind::kColumn;
  }
  bool IsText(size_t index) const override {
    return emitter_.ast_[ids_[index]].kind == NodeKind::kText;
  }
  const std::string* TextValue(size_t index) const override {
    if (!IsText(index)) return nullptr;
    value_ = Emitter::TextOf(emitter_.ast_[ids_[index]]);
    return &value_;
  }

 private:
  bool IsKeptTruth(size_t index) const {
    return call_ && GivesBack(function_, index) && emitter_.IsTruthValue(ids_[index]);
  }

  Emitter& emitter_;
  const NodeId* ids_;
  size_t count_;
  JetFunction function_{};
  bool call_ = false;
  mutable std::string value_;
};

}  // namespace tessaly::db::jet
