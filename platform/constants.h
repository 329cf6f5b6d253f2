// The program's fixed texts, in code page 936 where they are Chinese. They
// lie together in one read-only block, so FreeMemory can tell them apart.
#pragma once

struct ConstantTexts {
    char empty[1];
    // start-up
    char removalSwitch[3];    // "/U"
    char copyFailed[5];       // 失败
    char productName[8];      // "Vorquin"
    // registration
    char fileTail[7];         // "%1" in quotes, after a quote and a space
    char folderTail[7];       // "%L" likewise
    char quote[2];
    char backslash[2];
    char filesLabel[12];      // "Vorquin(&B)"
    char shortcutsLabel[21];  // 复制快捷方式路径(&E)
    char foldersLabel[19];    // 复制文件夹路径(&B)
    char filesCommand[21];
    char filesCommandKey[20];
    char filesVerb[13];
    char filesVerbKey[12];
    char shortcutsCommand[31];
    char shortcutsCommandKey[30];
    char shortcutsVerb[23];
    char shortcutsVerbKey[22];
    char foldersCommand[29];
    char foldersCommandKey[28];
    char foldersVerb[21];
    char foldersVerbKey[20];
    // message boxes
    char defaultCaption[7];   // 信息：
    char fatalCaption[5];     // 错误
    char fatalHeading[16];    // 运行时出错! and an empty line
    char fatalLead[11];       // 错误信息：
    char lineEnd[3];
    char allocationFailed[22];  // 分配 %d 字节内存失败!
};

extern const ConstantTexts kTexts;

bool IsConstantText(const void* pointer);
