// A bound on how deeply the parser and the emitter recurse into a statement.
#pragma once

namespace tessaly::db::jet {

// One level of recursion, counted in depth while alive. Past limit the
// level is not taken and what too_deep gives is thrown.
class Depth {
 public:
  template <class TooDeep>
  Depth(int& depth, int limit, TooDeep&& too_deep) : depth_(depth) {
    if (++depth_ > limit) {
      --depth_;
      throw too_deep();
    }
  }
  ~Depth() { --depth_; }
  Depth(const Depth&) = delete;
  Depth& operator=(const Depth&) = delete;

 private:
  int& depth_;
};

}  // namespace tessaly::db::jet
