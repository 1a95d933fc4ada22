#pragma once
#include "platform/Text.h"

// A condition the program cannot go on from. The program shows its error
// box and ends with exit code -1; the call does not return there. Tests
// stand in for it and record the message.
class FatalErrorSink {
public:
    virtual void RaiseFatalError(const Text& message) = 0;

protected:
    ~FatalErrorSink() = default;
};

// "运行时出错!\r\n\r\n错误信息：" + message + "\r\n": the text of the error box.
Text FatalErrorBoxText(const Text& message);

// The message when a function cannot be bound by name in its library.
Text BindFailureMessage(const char* library, const char* function);

// The message when a request for memory fails.
Text OutOfMemoryMessage(long bytes);

extern const char* const FatalErrorCaption;
