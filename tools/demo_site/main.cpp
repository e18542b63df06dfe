#include "demo_site/command_line.h"
#include "demo_site/demo_site.h"

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    using namespace melvara::tools;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    if (!parsed.error.empty()) {
        std::cerr << "melvara-demo-site: " << parsed.error << "\n" << Usage();
        return 2;
    }
    const CommandLine& line = parsed.commandLine;
    if (line.help) {
        std::cout << Usage();
        return 0;
    }

    // Block the stop signals before any thread starts so that only sigwait sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    // A client that goes away mid-response must not kill the server.
    signal(SIGPIPE, SIG_IGN);

    try {
        DemoSiteOptions options;
        options.port = line.port;
        options.certificateDir = line.dir.empty() ? DefaultCertificateDir() : line.dir;
        if (line.songs) {
            options.catalogue = GeneratedCatalogue(*line.songs, line.size);
        }
        DemoSite site(std::move(options));
        site.Start();
        std::cout << "port=" << site.Port() << " playlist=" << site.PlaylistUrl()
                  << " ca=" << site.CaFile().string() << std::endl;

        int received = 0;
        sigwait(&stopSignals, &received);
        site.Stop();
    } catch (const std::exception& error) {
        std::cerr << "melvara-demo-site: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
