// tkw-report's page: a few days of the offsets files as one HTML page that
// needs nothing else, with plots of the offset, the jitter and the drift and
// a table of each day's figures, readable on a phone and printable.
#pragma once

#include <string>
#include <vector>

#include "logs/offsets_file.h"
#include "platform/systime.h"

namespace tkw::report {

struct ReportDay {
    SystemTime date;  // the day (its date fields)
    bool found = false;  // its file was read
    OffsetsDay data;
};

// `days` in order, one a date, those without a file too; `where` names the
// directory they were read from ("the directory /var/lib/tkw"). The plots span the first to the last day
// with a file.
std::string ReportPage(const std::vector<ReportDay>& days, const std::string& where);

}  // namespace tkw::report
