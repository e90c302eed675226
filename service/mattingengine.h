#pragma once
// A segmentation engine: photo in, soft subject mask out. Each inference worker
// owns one engine and calls it from its own thread only, so engines keep whatever
// per-network state they like without locking.

#include <opencv2/core.hpp>

#include <memory>
#include <string>

struct ServiceOptions;

class MattingEngine
{
public:
    virtual ~MattingEngine() = default;
    // Soft alpha of the subject as CV_32F in [0, 1]. Its size may differ from the
    // photo's (a network has a fixed input); the caller scales it to the photo.
    // Throws std::exception when the engine fails on this photo.
    virtual cv::Mat alpha(const cv::Mat& bgr, bool isBody) = 0;
    // Gives back memory kept between jobs for speed; called on the engine's
    // worker thread when the service has been idle for a while.
    virtual void releaseCaches() {}

    // What the options ask for, settled once at start-up.
    struct Choice
    {
        std::string name;    // "isnet", "isnet-fast" or "key"
        std::string model;   // model file for the isnet engines
        std::string warning; // why "auto" fell back to key, shown in the log and /healthz
    };
    // False with a reason when the options cannot be met (isnet without a model).
    static bool choose(const ServiceOptions& options, Choice& out, std::string& error);
    // The engine for requests asking for the fast one, beside `main`: the int8
    // model when `main` is isnet and that file exists, false otherwise (those
    // requests then run on `main`).
    static bool chooseFast(const ServiceOptions& options, const Choice& main, Choice& out);
    // Loads a new engine; throws std::exception when the model does not load.
    static std::unique_ptr<MattingEngine> create(const Choice& choice, int threads);
    static bool isnetAvailable();
};
