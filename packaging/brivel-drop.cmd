@echo off
rem Drop one or more camera lists onto this file in Explorer: each one,
rem NAME.txt, is converted by brivel.exe into NAME.ent beside it, and
rem brivel-check.exe says what it found in it. When there is anything to
rem read, the window stays open until a key is pressed.
setlocal
set "here=%~dp0"
set "status=0"
if "%~1"=="" goto usage

:next
if "%~1"=="" goto done
rem NAME.ent would be read and written at once: it is left alone.
if /i "%~x1"==".ent" goto skip
echo "%~nx1" becomes "%~n1.ent"
"%here%brivel.exe" < "%~1" > "%~dpn1.ent"
if errorlevel 1 set "status=1"
"%here%brivel-check.exe" "%~1"
if errorlevel 1 set "status=1"
shift
goto next

:skip
echo "%~nx1" is an .ent file already: it is left as it is.
set "status=1"
shift
goto next

:usage
echo Drop one or more camera lists onto %~nx0 in Explorer: each NAME.txt
echo becomes NAME.ent beside it, and brivel-check says what it found in it.
set "status=1"

:done
if "%status%"=="1" pause
exit /b %status%
