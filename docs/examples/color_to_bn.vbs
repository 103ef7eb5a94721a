' ColorToBN from a script: a script has no device context of its own, so
' it passes 0 as PictureHDC; the picture is loaded and converted, and the
' result tells whether that worked (a program with a window passes its
' DC, see docs/com-guide.md).
'   cscript //nologo color_to_bn.vbs C:\pictures\coffee.bmp
Option Explicit

' A script stopped by an error can end with status 0 (under Wine silently):
' Main runs under a handler that says what went wrong and ends with status 1.
On Error Resume Next
Main
If Err.Number <> 0 Then
    WScript.Echo "color_to_bn.vbs: error " & Err.Number & " from " & Err.Source & ": " & Err.Description
    If Err.Number = 429 Then WScript.Echo "Orvessa.Pictava is not registered for this script host's bitness: see README.txt"
    WScript.Quit 1
End If

Sub Main()
    Dim pictava, file
    Set pictava = CreateObject("Orvessa.Pictava")
    file = WScript.Arguments(0)

    ' The three required arguments: FileName, PictureHDC, ImageHandle (unused).
    WScript.Echo "gray: " & pictava.ColorToBN(file, 0, 0)
    ' Two-colour: white where the gray value is above the threshold 100.
    WScript.Echo "two-colour: " & pictava.ColorToBN(file, 0, 0, True, 100)
    ' Fitted and centred into a 200 x 150 box, proportions kept.
    WScript.Echo "fitted: " & pictava.ColorToBN(file, 0, 0, False, 128, True, 200, 150)
    ' A file that cannot be loaded raises no error: the result is False.
    WScript.Echo "missing file: " & pictava.ColorToBN(file & ".missing.bmp", 0, 0)
End Sub
