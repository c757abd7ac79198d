#pragma once
// Every user-visible text of the program, kept readable here in UTF-8. The
// compilers store them as code page 949 bytes (-fexec-charset=CP949), which
// is what the ANSI Win32 calls expect on a Korean system.

#define TEXT_ERROR_CAPTION "오류"
#define TEXT_ARCHIVE_OPEN_FAILED "압축파일을 읽는데 오류가 발생했습니다."
#define TEXT_CLOSE_FAILED "파일을 닫을 수 없습니다."
#define TEXT_OUT_OF_MEMORY "메모리가 부족합니다."
#define TEXT_SIZE_MISMATCH "파일 크기가 틀립니다, 다시 다운로드 하세요."
