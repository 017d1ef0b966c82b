#pragma once

// Going on past a failing step. The check run and the button's drawing and
// termination are sequences of steps where a failure ends only the step it
// happens in: the next step runs regardless, and nothing is reported.

#include <exception>
#include <utility>

namespace vx {

// Runs `step`; a failure (a std::exception) ends that step and is dropped.
// Anything else thrown is no failure of a step and goes on up.
template <typename Step>
void RunPastFailure(Step&& step) {
  try {
    std::forward<Step>(step)();
  } catch (const std::exception&) {
    // The step is over; whoever runs the sequence goes on with the next one.
  }
}

}  // namespace vx
