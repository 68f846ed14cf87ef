#pragma once

#include "store/recordsstore.h"

#include <QStringList>

// The PostgreSQL roles of a line's records, each with only what its work needs; the tables'
// owner keeps the rest (migrations, rebuilding the summaries):
//   vorn_reader      reads everything: the dashboard, reports, `records verify`
//   vorn_station     also keeps checkouts with their steps and measurements, and counts them in
//                    the summaries; never changes or removes a kept checkout, step or measurement
//   vorn_technician  also keeps repairs
// Each login is made a member of one of them (CREATE ROLE station_4 LOGIN IN ROLE vorn_station).
namespace RecordsRoles {

// The statements that make the roles (when missing) and grant them on the records' tables as
// they are now, and on tables the owner makes later for reading.
QStringList statements(RecordsDatabase &database);
// Runs them in one transaction, as the tables' owner; false with the database's errorText().
bool setUp(RecordsDatabase &database);

} // namespace RecordsRoles
