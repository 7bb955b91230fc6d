#pragma once
// `tgxctl report FILE OUT.pdf [--channels LIST] [--field NAME=VALUE ...]`: the
// calibration table document of a form file written as a PDF, for scripts.
// tgxctl's main only hands the words over.

#include <cstdio>
#include <string>
#include <vector>

// tgxctl's exit codes that this command uses.
constexpr int kReportExitOk = 0;
constexpr int kReportExitFile = 2;          // FILE not loaded, or OUT not written
constexpr int kReportExitNotConverted = 3;  // the PDF is written, a requested form has only its reason
constexpr int kReportExitUsage = 64;

// `args` starts with the command word "report". Loads FILE as the import
// dialog does, lays out the sections of the channels of LIST (default: every
// form; gaps have none) with the site fields given (org, object, tank<N>, by,
// date; values in UTF-8) and today's date, writes OUT and prints its path
// (UTF-8) on `out`. Messages go to `err`. A requested form that does not
// convert gets its reason in the document and a line on `err`, and the exit
// code is 3 after the document is written. A channel past the project's
// forms, or a list that leaves only gaps, is a usage error. Works without a
// display: when no QGuiApplication exists one is made for the call, on the
// "offscreen" platform unless QT_QPA_PLATFORM names another.
int RunReportCommand(const std::vector<std::string>& args, std::FILE* out = stdout, std::FILE* err = stderr);

// The help text of the command, for `tgxctl --help`.
std::string ReportUsage();
