#pragma once
// Command-line settings of brisel-matting-service. Parsed once in main() and then
// read-only, so every thread may read them without locking.

#include <cstddef>
#include <string>

struct ServiceOptions
{
    std::string listen = "127.0.0.1";
    int port = 47650;      // 0 picks a free port; the chosen one is printed
    std::string publicUrl; // base of convert_path; empty = derived from listen/port
    std::string tlsCert;
    std::string tlsKey;
    std::string engine = "auto"; // auto | isnet | isnet-fast | key
    std::string modelPath;       // empty = defaultModelPath(); isnet-fast uses fastModelPath() of it
    int workers = 1;
    int cvThreads = 2;
    int maxUploadMb = 50;
    int maxMegapixels = 64;
    int queue = 32;
    int perMac = 0; // jobs one mac may have in flight; 0 = no limit
    long long resultTtlMs = 10 * 60 * 1000;
    long long idleExitMs = 0;           // exit after this long without jobs or connections; 0 = never
    std::string scratchRoot;            // empty = ScratchFolder::defaultRoot()
    int logLevel = 2;                   // 0 error, 1 warning, 2 info, 3 debug
    int testDelayMs = 0;                // hidden: makes every job slow so tests can catch it running
    std::string role = "both";          // api (HTTP only) | worker (inference only) | both
    std::string store;                  // empty: embedded; else redis://host:port[/db]
    long long visibilityMs = 60 * 1000; // a taken job's lease before another worker may take it

    bool sharedStore() const { return !store.empty(); }

    bool useTls() const { return !tlsCert.empty(); }
    std::size_t maxUploadBytes() const { return static_cast<std::size_t>(maxUploadMb) * 1024 * 1024; }
    // The base URL clients reach us at, without a trailing slash.
    std::string baseUrl(int boundPort) const;

    // Fills `out` from argv; on failure returns false with a one-line reason in
    // `error`. `--help` returns false with an empty error.
    static bool parse(int argc, const char* const* argv, ServiceOptions& out, std::string& error);
    static std::string usage();
    // $BRISEL_MODEL_DIR or ~/.cache/brisel/models, plus the converted model's name.
    static std::string defaultModelPath();
    // The int8 copy beside a model: "x/isnet-general.pt" -> "x/isnet-general-int8.pt".
    static std::string fastModelPath(const std::string& modelPath);
    // "600", "600s", "1500ms", "10m" -> milliseconds; -1 when malformed.
    static long long parseDurationMs(const std::string& text);
};
