#pragma once
// An EngineOutput that writes each call as one short line, e.g. "down 224",
// "up 6", "button down 1", "wheel 120", "move 11 0".
#include <string>
#include <vector>

#include "pad_mapping/engine.h"

namespace hp::pad_mapping::testing {

class RecordingOutput : public EngineOutput {
public:
    void keyDown(KeyCode code) override { add("down " + std::to_string(code)); }
    void keyUp(KeyCode code) override { add("up " + std::to_string(code)); }
    void buttonDown(std::uint8_t b) override { add("button down " + std::to_string(b)); }
    void buttonUp(std::uint8_t b) override { add("button up " + std::to_string(b)); }
    void wheel(std::int32_t a) override { add("wheel " + std::to_string(a)); }
    void hwheel(std::int32_t a) override { add("hwheel " + std::to_string(a)); }
    void moveRelative(std::int32_t dx, std::int32_t dy) override {
        add("move " + std::to_string(dx) + " " + std::to_string(dy));
        movedX += dx;
        movedY += dy;
    }

    // The lines recorded since the last take().
    std::vector<std::string> take() {
        auto out = std::move(lines);
        lines.clear();
        return out;
    }

    std::vector<std::string> lines;
    long long movedX = 0, movedY = 0;

private:
    void add(std::string line) { lines.push_back(std::move(line)); }
};

}  // namespace hp::pad_mapping::testing
