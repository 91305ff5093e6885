#include "base/frame_list.h"

#include <algorithm>
#include <utility>

namespace dukon {

FrameList::FrameList(const std::vector<Range>& ranges) {
  // Boundaries where the number of ranges holding a frame changes: +1 at a
  // range's first frame, -1 after its last.
  std::vector<std::pair<long long, int>> edges;
  for (const auto& [a, b] : ranges) {
    if (b < a) continue;
    edges.emplace_back(a, +1);
    edges.emplace_back(static_cast<long long>(b) + 1, -1);
  }
  std::sort(edges.begin(), edges.end());
  int depth = 0;
  for (size_t i = 0; i < edges.size(); ++i) {
    depth += edges[i].second;
    const bool lastAtThisFrame = i + 1 == edges.size() || edges[i + 1].first != edges[i].first;
    if (!lastAtThisFrame || depth == 0 || i + 1 == edges.size()) continue;
    pieces_.push_back(Piece{edges[i].first, edges[i + 1].first - 1, depth});
  }
}

long long FrameList::size() const {
  long long n = 0;
  for (const Piece& p : pieces_) n += (p.last - p.first + 1) * p.count;
  return n;
}

FrameList::Cursor::Cursor(const FrameList* list) : list_(list) {
  if (!list_->pieces_.empty()) frame_ = list_->pieces_[0].first;
}

int FrameList::Cursor::current() const {
  return piece_ < list_->pieces_.size() ? static_cast<int>(frame_) : kEnd;
}

void FrameList::Cursor::advance() {
  if (piece_ >= list_->pieces_.size()) return;
  ++passed_;
  const Piece& p = list_->pieces_[piece_];
  if (++repeat_ < p.count) return;
  repeat_ = 0;
  if (frame_ < p.last) {
    ++frame_;
  } else if (++piece_ < list_->pieces_.size()) {
    frame_ = list_->pieces_[piece_].first;
  }
}

}  // namespace dukon
