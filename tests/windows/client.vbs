' A script client of Orvessa.Pictava, run by cscript under Wine: everything
' a script can reach (scripts cannot make byte arrays or device contexts).
'   cscript //nologo client.vbs PICTURES_FOLDER
' Ends with WScript.Quit of the number of failed checks and a last line that
' says so, since a script that dies still leaves cscript with status 0.
Option Explicit

Dim failures, checks
failures = 0
checks = 0

Sub Check(ok, what)
    checks = checks + 1
    If Not ok Then
        failures = failures + 1
        WScript.Echo "FAIL: " & what
    End If
End Sub

Dim o, other, missing, r
Set o = CreateObject("Orvessa.Pictava")
Set other = CreateObject("Orvessa.Pictava")
missing = "Z:\no\such\folder\picture.bmp"

' Unit conversion at the display's 96 dots per inch.
Check o.ScaleX(2540) = 96, "ScaleX(2540) = 96"
Check o.ScaleX(-2540) = -96, "ScaleX(-2540) = -96"
Check o.ScaleY(2540) = 96, "ScaleY(2540) = 96"
Check o.ScaleY(0) = 0, "ScaleY(0) = 0"
Check TypeName(o.ScaleX(100)) = "Integer", "ScaleX gives an Integer"
Check other.ScaleX("2540") = 96, "a numeric string is coerced"

' Errors arrive as numbered script errors with their text and source.
On Error Resume Next
Err.Clear
r = o.ScaleX(1E+7)
Check Err.Number = 6, "ScaleX(1E7) raises Overflow (6), got " & Err.Number
Check Err.Description = "Overflow", "the description is Overflow, got " & Err.Description
Check Err.Source = "Orvessa.Pictava", "the source is Orvessa.Pictava, got " & Err.Source
Err.Clear
r = o.ScaleY("wide")
Check Err.Number = 13, "a non-numeric string is a type mismatch (13), got " & Err.Number
Err.Clear
r = o.ScaleX()
Check Err.Number = 450, "a missing required argument is refused (450), got " & Err.Number
Err.Clear
Dim notBytes(3)
o.Blur_Buffer notBytes, 1, 1
Check Err.Number = 13, "an array of variants is not a byte array (13), got " & Err.Number
Err.Clear
r = o.NoSuchMethod(1)
Check Err.Number = 438, "an unknown method is refused (438), got " & Err.Number
Err.Clear
On Error GoTo 0

' ColorToBN with three to eight arguments, literals and variables alike:
' a file that cannot be loaded paints nothing and reports no error.
Dim twoColor, threshold, hold, w, h
twoColor = True
threshold = 100
hold = True
w = 200
h = 150
Check o.ColorToBN(missing, 0, 0) = False, "ColorToBN with 3 arguments"
Check o.ColorToBN(missing, 0, 0, True) = False, "ColorToBN with 4 arguments"
Check o.ColorToBN(missing, 0, 0, twoColor, threshold) = False, "ColorToBN with 5 arguments"
Check o.ColorToBN(missing, 0, 0, twoColor, threshold, hold) = False, "ColorToBN with 6 arguments"
Check o.ColorToBN(missing, 0, 0, twoColor, threshold, hold, w) = False, "ColorToBN with 7 arguments"
Check o.ColorToBN(missing, 0, 0, twoColor, threshold, hold, w, h) = False, "ColorToBN with 8 arguments"
Check o.ColorToBN(missing, 0, 0, , , , w, h) = False, "ColorToBN with skipped optionals"
Check TypeName(o.ColorToBN(missing, 0, 0)) = "Boolean", "ColorToBN gives a Boolean"
Check twoColor = True And threshold = 100 And w = 200, "the by-reference variables are unchanged"
' A picture that loads is converted (True); the device context 0 shows
' nothing of it. A file that holds no picture gives False.
Dim pictures
pictures = WScript.Arguments(0) & "\"
Check o.ColorToBN(pictures & "chelsea-small.bmp", 0, 0) = True, "a BMP loads and converts"
Check o.ColorToBN(pictures & "coffee.jpg", 0, 0, True, 200, True, 50, 50) = True, "a JPEG loads and converts"
Check o.ColorToBN(pictures & "README.md", 0, 0) = False, "a text file is no picture"
Check o.ColorToBN(pictures, 0, 0) = False, "a folder is no picture"
On Error Resume Next
Err.Clear
r = o.ColorToBN(missing, 0, 0, False, 256)
Check Err.Number = 6, "a Threshold of 256 overflows the byte (6), got " & Err.Number
Err.Clear
On Error GoTo 0

Set o = Nothing
Set other = Nothing
' The script host's own bitness (x86 or AMD64): the DLL it loaded has the same.
WScript.Echo "client: host " & CreateObject("WScript.Shell").ExpandEnvironmentStrings("%PROCESSOR_ARCHITECTURE%")
WScript.Echo "client: " & checks & " checks, " & failures & " failed"
WScript.Quit failures
