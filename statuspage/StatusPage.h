// pt_notfy's status page: on line, or on battery with the minutes of runtime left, as the request
// filter put them into the query.
#pragma once

// The program's one object is static; its constructor writes the whole page before main runs.
class CStatusPage {
 public:
  CStatusPage();
  ~CStatusPage() = default;

  CStatusPage(const CStatusPage&) = delete;
  CStatusPage& operator=(const CStatusPage&) = delete;
};
