#pragma once

#include "BizException.h"

#include <QString>

#include <memory>

// Holds the exception that ended a user operation, classifies it and turns it into the
// message, type text and numeric code the user (or the exit code) sees.
//
//     CBizExceptHandler handler;   // CExceptHandler where service faults can occur
//     try { ... } catch (const CBizException &e) { handler.Set(e); }
//     if (handler.HasException()) handler.ShowError();
//
// The handler never throws while reporting.
class CBizExceptHandler
{
public:
    CBizExceptHandler() = default;
    virtual ~CBizExceptHandler() = default;
    CBizExceptHandler(const CBizExceptHandler &) = delete;
    CBizExceptHandler &operator=(const CBizExceptHandler &) = delete;

    virtual int Classify(const CBizException &e) const;
    virtual void Set(const CBizException &e);
    virtual QString KindName() const;
    virtual QString CodeText() const;
    virtual QString MessageText() const;
    virtual qint32 Code() const;
    // The leading text (or MessageText), then the type line and the code line when set.
    virtual QString FullMessage(const QString &leading = {}) const;
    virtual void ShowError() const;
    virtual void ShowWarning() const;

    bool HasException() const { return m_exception != nullptr; }
    const CBizException *Exception() const { return m_exception.get(); }
    int GetKind() const { return m_kind; }
    void Clear();

    // File or OS exception meaning "not found" (cause 2 / error 2).
    bool IsNotFound() const;
    // File or OS exception meaning "in use" (sharing violation / error 32 or 5).
    bool IsInUse() const;

    // When an exception is held: releases it and throws it again as its own class.
    void RethrowPending();

protected:
    std::unique_ptr<CBizException> m_exception;
    int m_kind = 0;
};

// CExceptHandler, which adds the service fault (kind 7), lives with CRequestException in
// service/RequestException.h.
