// Set before any test runs, for the tests and the titles they start: test
// machines have no sound card, so SDL's dummy audio driver stands in for one
// and windowed titles start their sound instead of stopping at the message
// that reports its absence. A driver chosen in the environment is kept.
#include <cstdlib>

namespace {

const bool kDummyAudio = [] { return setenv("SDL_AUDIODRIVER", "dummy", 0) == 0; }();

}  // namespace
