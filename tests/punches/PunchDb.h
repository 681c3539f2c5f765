// A fresh attendance database with one record object of a punch class on it,
// and the statements it sends shown with \r for each carriage return.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestDb.h"

namespace tessaly::testing {

template <class Record>
class PunchDb : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = AttendanceDb();
    rec_.HConnect(conn_);
  }
  // From now on, every statement sent is kept in sent_.
  void Watch() {
    conn_->Trace([this](std::string_view sql) { sent_.push_back(Visible(std::string(sql))); });
  }
  std::string Count(const std::string& table) {
    return Scalar(conn_, "select count(*) from " + table);
  }

  std::shared_ptr<db::Connection> conn_;
  Record rec_;
  std::string err_;
  std::vector<std::string> sent_;
};

}  // namespace tessaly::testing
