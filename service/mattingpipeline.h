#pragma once
// One whole job, photo bytes in and cut-out PNG bytes out: decode (upright, as
// EXIF says), segment, scale the mask to the photo, estimate edge colours, encode.
// A pipeline owns its engine and is used by one worker thread at a time.

#include "mattingengine.h"

#include <memory>
#include <string>
#include <vector>

class MattingPipeline
{
public:
    explicit MattingPipeline(std::unique_ptr<MattingEngine> engine);

    // Throws std::runtime_error whose what() is a message for the user.
    std::vector<uchar> run(const std::string& photo, bool isBody);

    MattingEngine& engine() { return *m_engine; }

private:
    std::unique_ptr<MattingEngine> m_engine;
};
