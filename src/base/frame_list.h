// FrameList: the frames listed by the parameters file's ignorefrm lines,
// kept as the ranges given rather than frame by frame.
//
// As a list it reads as all the frames of all the ranges in ascending order,
// a frame once for every range that holds it. A forward cursor walks that
// list; the run driver passes an entry only when its frame comes up, so a
// duplicate, or an entry for a frame the movie never delivers, holds back
// every later entry.
#ifndef DUKON_BASE_FRAME_LIST_H_
#define DUKON_BASE_FRAME_LIST_H_

#include <cstddef>
#include <utility>
#include <vector>

namespace dukon {

class FrameList {
 public:
  // Marker the cursor shows past the last entry; matches no frame number.
  static constexpr int kEnd = -13;

  // One range of frames first .. last for each pair (ranges with last <
  // first list nothing).
  using Range = std::pair<int, int>;
  FrameList() = default;
  explicit FrameList(const std::vector<Range>& ranges);

  bool empty() const { return pieces_.empty(); }
  // Entries in the list, duplicates included.
  long long size() const;

  // Calls f(frame) for every entry, in ascending order.
  template <class F>
  void forEach(F f) const {
    for (const Piece& p : pieces_)
      for (long long frame = p.first; frame <= p.last; ++frame)
        for (int k = 0; k < p.count; ++k) f(static_cast<int>(frame));
  }

  class Cursor {
   public:
    // The entry at the cursor, kEnd past the last.
    int current() const;
    // Passes the current entry (not past the end).
    void advance();
    // Entries passed so far.
    size_t passed() const { return passed_; }

   private:
    friend class FrameList;
    explicit Cursor(const FrameList* list);
    const FrameList* list_;
    size_t piece_ = 0;     // index into list_->pieces_
    long long frame_ = 0;  // the current frame within the piece
    int repeat_ = 0;       // copies of frame_ passed already
    size_t passed_ = 0;
  };
  // A cursor on the first entry; the list must outlive it and stay unchanged.
  Cursor cursor() const { return Cursor(this); }

 private:
  // Frames first .. last, each listed `count` times; pieces ascend and do
  // not overlap.
  struct Piece {
    long long first, last;
    int count;
  };
  std::vector<Piece> pieces_;
};

}  // namespace dukon

#endif  // DUKON_BASE_FRAME_LIST_H_
