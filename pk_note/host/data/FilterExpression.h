#pragma once
// Filter expressions of a client data set: comparisons of fields with literals
// (=, <>, <, >, <=, >=, like, in, is [not] null), and/or/not and parentheses.
// A string compared with '=' that ends in '*' matches as a prefix.

#include <QString>

#include <functional>

namespace data {

class ClientDataSet;

// Compiles the expression against the data set's fields; throws DataSetError on a
// syntax error or an unknown field. The result reads the fields of the record the
// data set is filtering.
std::function<bool(ClientDataSet &)> compileFilter(ClientDataSet &ds, const QString &expression, bool caseInsensitive);

} // namespace data
