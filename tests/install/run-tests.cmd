@echo off
rem SPDX-License-Identifier: MIT
rem Runs every test program of this kit from this folder, beside the DLL
rem they test, as tests.txt lists them with their arguments, prints a line
rem for each and a summary, and exits 0 only if every program passed.  A
rem failing program's output is shown after its line.
setlocal
cd /d "%~dp0"
set passed=0
set failed=0
set failures=
set log=%TEMP%\kivvariantmanager-tests-%RANDOM%.log

for /f "usebackq delims=" %%t in ("tests.txt") do call :run %%t

if exist "%log%" del "%log%"
echo.
echo %passed% passed, %failed% failed
if %failed% neq 0 (
    echo failed:%failures%
    exit /b 1
)
exit /b 0

:run
%* >"%log%" 2>&1
if %errorlevel% equ 0 (
    set /a passed+=1
    echo pass  %*
    goto :eof
)
set /a failed+=1
set failures=%failures% %1
echo FAIL  %*
type "%log%"
goto :eof
