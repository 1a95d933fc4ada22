#include "platform/FatalError.h"

const char* const FatalErrorCaption = "错误";

Text FatalErrorBoxText(const Text& message)
{
    Text text("运行时出错!\r\n\r\n错误信息：");
    text.Append(message);
    text.Append("\r\n");
    return text;
}

Text BindFailureMessage(const char* library, const char* function)
{
    Text text("无法找到指定DLL库文件“");
    text.Append(library);
    text.Append("”中的输出命令“");
    text.Append(function);
    text.Append("”");
    return text;
}

Text OutOfMemoryMessage(long bytes)
{
    Text text("分配 ");
    text.AppendNumber(bytes);
    text.Append(" 字节内存失败!");
    return text;
}
