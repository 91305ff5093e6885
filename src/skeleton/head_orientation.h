// Head orientation from all the evidence, and the check of an orientation
// against it.
//
// Every linked run (linked_runs.h) is judged by its weighed evidence
// (head_evidence.h): the end it favours is the head of all its frames. A run
// too short to compare frames over time has too little evidence but
// brightness: the majority of its per-frame brightness decisions judges it,
// and without any the run stays as decided frame by frame.
//
// Whatever rule oriented the records, the check lists every stretch of more
// than a second in which the head written lies at the other end from the
// one clear evidence favours.
#ifndef DUKON_SKELETON_HEAD_ORIENTATION_H_
#define DUKON_SKELETON_HEAD_ORIENTATION_H_

#include <vector>

#include <opencv2/core.hpp>

#include "base/skel_record.h"
#include "skeleton/head_evidence.h"
#include "skeleton/linked_runs.h"

namespace dukon {

// The judgement of one run, made before any orientation.
struct RunJudgement {
  LinkedRun run;
  HeadEvidence evidence;         // for end A
  int headEnd = 0;               // +1: end A is the head, -1: end B, 0: not judged
  bool clear = false;            // the evidence itself decided, and clearly
  std::vector<cv::Point> heads;  // per member, the head point judged (frame pixels)
};

// Links and judges the runs of `records`, whose chains and per-frame head
// decisions must not be oriented yet. `rate`: frames per second.
std::vector<RunJudgement> judgeRuns(const std::vector<SkelRecord>& records, double rate);

// headmode = combined: puts `head` where its run's judgement says and
// orients every chain from head to tail; a record outside every judged run
// keeps its per-frame decision.
void orientByJudgement(std::vector<SkelRecord>& records, const std::vector<RunJudgement>& runs);

// A stretch of consecutive consistent frames of one run whose written head
// is the end the run's clear evidence speaks against.
struct HeadCheck {
  int firstFrame = 0, lastFrame = 0;
  int frames = 0;        // consistent frames in the stretch
  double seconds = 0;    // (lastFrame - firstFrame + 1) / rate
  HeadEvidence against;  // the run's evidence for the head written: negative
};

// The stretches of more than a second, in frame order, of the oriented
// `records` that contradict `runs` (judged before the orientation).
std::vector<HeadCheck> checkHeads(const std::vector<SkelRecord>& records,
                                  const std::vector<RunJudgement>& runs, double rate);

}  // namespace dukon

#endif  // DUKON_SKELETON_HEAD_ORIENTATION_H_
