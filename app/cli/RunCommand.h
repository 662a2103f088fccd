// The commands of the brevik tool, over one device object. Text for people
// goes to out (results) and err (complaints); with --json, one JSON document
// goes to out instead. Long transfers report to the progress bar.
#pragma once

#include <cstdio>

#include "app/cli/CliArguments.h"
#include "app/cli/CliExitCodes.h"
#include "devicelink/BKQuillex.h"
#include "ui/ProgressBar.h"

int RunCliCommand(const CliArguments& args, BKQuillex& device, std::FILE* out, std::FILE* err,
                  ui::ProgressBar* progress);
