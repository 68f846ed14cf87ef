#pragma once

#include <QString>

#include <optional>
#include <utility>

// Why the records gave no answer, in words a front end shows as they are: nothing of the kind
// is kept (vornctl's exit code 3, the dashboard's 404), the request cannot be answered as put
// (a usage error, a 400), the records failed under it (a database error, a 503), or the
// document asked for could not be written where it was to go.
struct RecordsProblem
{
    enum class Kind
    {
        NotFound,
        Refused,
        Failed,
        NotWritten,
    };

    Kind kind = Kind::Failed;
    QString text;
};

// The answer of one of the records' use cases: a value, or the problem that stands for it.
template <typename Value> class RecordsAnswer
{
public:
    RecordsAnswer(Value value) : m_value(std::move(value)) {}
    RecordsAnswer(RecordsProblem problem) : m_problem(std::move(problem)) {}

    explicit operator bool() const { return m_value.has_value(); }
    const Value &operator*() const { return *m_value; }
    const Value *operator->() const { return &*m_value; }
    // Only when there is no value.
    const RecordsProblem &problem() const { return m_problem; }

private:
    std::optional<Value> m_value;
    RecordsProblem m_problem;
};
