// The commands of the brevik tool, over one device object. Results go to
// out, complaints to err; long transfers report to the progress bar.
#pragma once

#include <cstdio>

#include "app/cli/CliArguments.h"
#include "devicelink/BKQuillex.h"
#include "platform/ProgressBar.h"

constexpr int kCliSucceeded = 0;
constexpr int kCliFailed = 1;
constexpr int kCliUsageError = 2;

int RunCliCommand(const CliArguments& args, BKQuillex& device, std::FILE* out, std::FILE* err,
                  platform::ProgressBar* progress);
