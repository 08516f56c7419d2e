#pragma once

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

// Figures mean little without the machine they were taken on.
inline void printMachine()
{
    std::string model = "unknown CPU";
    std::ifstream info("/proc/cpuinfo");
    for (std::string line; std::getline(info, line);) {
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    }
    std::printf("machine: %s, %u cores\n", model.c_str(), std::thread::hardware_concurrency());
}
