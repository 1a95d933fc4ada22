#include "platform/FatalError.h"

#include <gtest/gtest.h>

#include "TextTesting.h"

TEST(FatalError, MessagesAreTheProgramsGbkTexts)
{
    EXPECT_EQ(S(FatalErrorBoxText(Text("载入启动窗口失败"))), "运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n");
    EXPECT_EQ(S(BindFailureMessage("shell32.dll", "ShellExecuteA")),
              "无法找到指定DLL库文件“shell32.dll”中的输出命令“ShellExecuteA”");
    EXPECT_EQ(S(OutOfMemoryMessage(4096)), "分配 4096 字节内存失败!");
    EXPECT_EQ(std::string(FatalErrorCaption), "\xB4\xED\xCE\xF3");  // 错误 in GBK
}
