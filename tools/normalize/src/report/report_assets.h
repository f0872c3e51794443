#pragma once
// The fixed text of the --report page around its data: the styles, the
// table's head, and the script that lays out the rows and draws the graphs.
namespace normalize {

// Up to the run's JSON object.
extern const char kReportHead[];
// Between the run's object and the files' records, one a line.
extern const char kReportData[];
// After the last record: the script and the page's end.
extern const char kReportTail[];

}  // namespace normalize
