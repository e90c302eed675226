#include "mattingengine.h"

#include "keyengine.h"
#include "serviceoptions.h"
#ifdef BRISEL_HAVE_TORCH
#include "isnetengine.h"
#endif

#include <fstream>
#include <stdexcept>

bool MattingEngine::isnetAvailable()
{
#ifdef BRISEL_HAVE_TORCH
    return true;
#else
    return false;
#endif
}

bool MattingEngine::choose(const ServiceOptions& options, Choice& out, std::string& error)
{
    out = Choice();
    const bool haveModel = std::ifstream(options.modelPath).good();
    if (options.engine == "key") {
        out.name = "key";
        return true;
    }
    if (options.engine == "isnet" || options.engine == "isnet-fast") {
        const std::string model =
            options.engine == "isnet" ? options.modelPath : ServiceOptions::fastModelPath(options.modelPath);
        if (!isnetAvailable()) {
            error = "this build has no libtorch, so the " + options.engine + " engine is not available";
            return false;
        }
        if (!std::ifstream(model).good()) {
            error = "model file not found: " + model + " (run tools/fetch-model.sh)";
            return false;
        }
        out.name = options.engine;
        out.model = model;
        return true;
    }
    if (isnetAvailable() && haveModel) {
        out.name = "isnet";
        out.model = options.modelPath;
        return true;
    }
    out.name = "key";
    out.warning = isnetAvailable() ? "model not found at " + options.modelPath +
                                         "; using the flat-background key engine (run tools/fetch-model.sh)"
                                   : "built without libtorch; using the flat-background key engine";
    return true;
}

bool MattingEngine::chooseFast(const ServiceOptions& options, const Choice& main, Choice& out)
{
    out = Choice();
    if (main.name != "isnet")
        return false;
    out.name = "isnet-fast";
    out.model = ServiceOptions::fastModelPath(main.model.empty() ? options.modelPath : main.model);
    return std::ifstream(out.model).good();
}

std::unique_ptr<MattingEngine> MattingEngine::create(const Choice& choice, int threads)
{
#ifdef BRISEL_HAVE_TORCH
    if (choice.name == "isnet" || choice.name == "isnet-fast")
        return std::make_unique<IsnetEngine>(choice.model, threads);
#endif
    if (choice.name == "key")
        return std::make_unique<KeyEngine>();
    throw std::runtime_error("engine not available: " + choice.name);
}
