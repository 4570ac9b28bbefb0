#include "core/app.h"

namespace zelt {

AppState& app() {
  static AppState state;
  return state;
}

}  // namespace zelt
