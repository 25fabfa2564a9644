// Uses the installed codec headers and library; exits 0 when the worked
// request comes out right and its breakdown has the worked items.
#include <codec/frame_breakdown.h>
#include <codec/request_builder.h>

#include <cstdio>
#include <string>

int main() {
  const std::string frame = codec::EncodeRequest(0, "65", "0026");
  const codec::FrameItems items = codec::BreakDownFrame(frame);
  std::printf("%s\n", frame.c_str());
  // Six header items, the register address, the check value, the end mark.
  const bool ok =
      frame == "<11300650400268D>" && items.size() == 9 && items[6].value == "0026" && items[7].value == "8D";
  return ok ? 0 : 1;
}
