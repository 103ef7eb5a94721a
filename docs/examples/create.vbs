' Creates Orvessa.Pictava and converts HIMETRIC lengths (hundredths of a
' millimetre, the unit in which pictures report their size) to pixels.
'   cscript //nologo create.vbs
Option Explicit

Dim pictava
Set pictava = CreateObject("Orvessa.Pictava")

WScript.Echo "One inch (2540 HIMETRIC) is " & pictava.ScaleX(2540) & " pixels wide and " & _
    pictava.ScaleY(2540) & " pixels high."
WScript.Echo "A 10 cm line is " & pictava.ScaleX(10000) & " pixels."
WScript.Echo "ScaleX gives an " & TypeName(pictava.ScaleX(1)) & "."
