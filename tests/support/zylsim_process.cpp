#include "support/zylsim_process.h"

namespace testing_support {

std::string ZylsimProgram() { return ZYLSIM_PATH; }

Zylsim::Zylsim(const std::vector<std::string>& options) : child_(ZylsimProgram(), options) {}

std::string Zylsim::FirstLine() {
  const std::string out = child_.ReadUntil("\n");
  const auto nl = out.find('\n');
  firstLineEnd_ = nl == std::string::npos ? out.size() : nl + 1;
  return out.substr(0, nl);
}

int Zylsim::Wait() {
  if (!ended_) result_ = child_.Finish();
  ended_ = true;
  return result_.status;
}

std::string Zylsim::Stdout() {
  Wait();
  return result_.out.substr(std::min(firstLineEnd_, result_.out.size()));
}

std::string Zylsim::Stderr() {
  Wait();
  return result_.err;
}

}  // namespace testing_support
